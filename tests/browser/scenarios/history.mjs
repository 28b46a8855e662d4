// History and Logs with years of results: a page at a time with search, order and "N of M", more as
// one scrolls and never more than a few hundred cards in the page; playing a finished file in its
// card; retrying and removing several downloads at once.

import assert from 'node:assert/strict';
import { screenshot } from '../browser.mjs';
import { expectMessage, openView, picture } from './helpers.mjs';

// PagedList keeps three pages of a hundred.
const MOST_SHOWN = 300;
const CARDS = '#history-list > li';
const LINES = '#log-list > li.log-line';

function count(page, selector) {
  return page.locator(selector).count();
}

/** Waits until `selector` shows exactly `text`. */
async function expectText(page, selector, text) {
  const seen = await page.waitForFunction(([target, wanted]) => document.querySelector(target)?.textContent === wanted,
    [selector, text]).catch(() => null);
  if (!seen) assert.fail(`${selector} says "${await page.textContent(selector)}", expected "${text}"`);
}

/** Scrolls to the end of the page `times` times, each time waiting for the count to grow. */
async function scrollOn(page, countSelector, times) {
  for (let i = 0; i < times; i++) {
    const before = await page.textContent(countSelector);
    await page.evaluate(() => window.scrollTo(0, document.documentElement.scrollHeight));
    await page.waitForFunction(([target, old]) => document.querySelector(target).textContent !== old, [countSelector, before]);
  }
}

function titles(page) {
  return page.$$eval(`${CARDS} [data-role="title"]`, (nodes) => nodes.map((node) => node.textContent));
}

/**
 * 50,000 downloads (bench/history.py's, newest "number 49999"): the first hundred at once, found
 * by a search, put in order by title, read on by scrolling with the far cards dropped, and the
 * first ones back on the way up. Findings: the time to the first results and the page's size.
 */
export async function historyAtScale({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('#session-empty:not([hidden]), #session-list > li');
  // From the click on the tab to the frame that shows the newest card, timed in the page: the
  // harness's own waiting would add its polling to the figure.
  await page.evaluate(() => {
    window.historyShown = new Promise((resolve) => {
      let clicked = 0;
      document.getElementById('tab-history').addEventListener('click', () => { clicked = performance.now(); },
        { capture: true, once: true });
      const list = document.getElementById('history-list');
      new MutationObserver((_, observer) => {
        if (!list.querySelector('li[data-pelko-id="h049999"]')) return;
        observer.disconnect();
        requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - clicked)));
      }).observe(list, { childList: true });
    });
  });
  await page.click('#tab-history');
  const firstResultsMs = await page.evaluate(() => window.historyShown);
  await expectText(page, '#history-count', '100 of 50,000 downloads');
  assert.equal(await count(page, CARDS), 100);
  const domNodes = await page.evaluate(() => document.getElementsByTagName('*').length);
  await screenshot(page, outDir, 'history-50000', false);

  await page.fill('#history-search', 'NUMBER 4242');
  await expectText(page, '#history-count', '11 of 11 matches');
  assert.deepEqual((await titles(page)).slice(0, 2),
    ['A video of the history, number 42429', 'A video of the history, number 42428']);
  assert.equal((await titles(page)).at(-1), 'A video of the history, number 4242');
  await page.selectOption('#history-sort', 'title');
  await page.waitForFunction(() => document.querySelector('#history-list > li [data-role="title"]')?.textContent
    === 'A video of the history, number 4242');
  await picture(page, outDir, 'history-search-by-title');

  await page.selectOption('#history-mode', 'video');
  // Every third is a video: 4242, 42420, 42423, 42426 and 42429.
  await expectText(page, '#history-count', '5 of 5 matches');
  await page.selectOption('#history-mode', '');
  await page.fill('#history-search', '');
  await page.selectOption('#history-sort', 'oldest');
  await page.waitForSelector(`${CARDS}:first-child[data-pelko-id="h000000"]`);
  await expectText(page, '#history-count', '100 of 50,000 downloads');

  await scrollOn(page, '#history-count', 6);
  await expectText(page, '#history-count', '700 of 50,000 downloads');
  const deep = await count(page, CARDS);
  assert.ok(deep <= MOST_SHOWN, `${deep} cards in the page`);
  assert.equal(await page.getAttribute(`${CARDS}:first-child`, 'data-pelko-id'), 'h000400', 'the far cards went');
  const deepNodes = await page.evaluate(() => document.getElementsByTagName('*').length);
  await screenshot(page, outDir, 'history-scrolled-deep', false);

  // A step back up brings the cards before back; a jump to the top, the first ones.
  await page.evaluate(() => window.scrollBy(0, document.querySelector('#history-list').getBoundingClientRect().top
    - window.innerHeight));
  await page.waitForSelector(`${CARDS}:first-child[data-pelko-id="h000300"]`);
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.waitForSelector(`${CARDS}:first-child[data-pelko-id="h000000"]`);
  assert.equal(await page.textContent(`${CARDS}:first-child [data-role="title"]`), 'A video of the history, number 0');
  assert.ok(await count(page, CARDS) <= MOST_SHOWN);
  return { first_results_ms: Math.round(firstResultsMs), dom_nodes: domNodes, dom_nodes_deep: deepNodes, cards_deep: deep };
}

/** 50,000 messages of earlier runs: all time, searched, problems only, read on by scrolling. */
export async function logsAtScale({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#logs`);
  await page.waitForSelector(LINES);
  await page.check('#log-scope-alltime');
  await page.waitForFunction(() => /of 5\d,\d{3} messages$/.test(document.getElementById('logs-count').textContent));
  assert.equal(await count(page, LINES), 100);

  await page.fill('#log-search', 'disk usage... (4999');
  await expectText(page, '#logs-count', '11 of 11 messages');
  await page.check('#log-problems-only');
  // Types go round 0, 1, 2: of 4999 and 49990 to 49999, those whose number is not a multiple of three.
  const problems = [4999, ...Array.from({ length: 10 }, (_, i) => 49990 + i)].filter((n) => n % 3 !== 0);
  await expectText(page, '#logs-count', `${problems.length} of ${problems.length} messages`);
  assert.equal(await count(page, `${LINES}[data-level="info"]`), 0);
  await picture(page, outDir, 'logs-search-problems');

  await page.uncheck('#log-problems-only');
  await page.fill('#log-search', '');
  await page.selectOption('#log-sort', 'oldest');
  await page.waitForFunction(() => document.querySelector('#log-list .log-text')?.textContent === 'Fetching disk usage... (0)');
  await scrollOn(page, '#logs-count', 4);
  assert.ok(await count(page, LINES) <= MOST_SHOWN);
  assert.equal(await page.textContent('#log-list > li:first-child .log-text'), 'Fetching disk usage... (200)');
  await screenshot(page, outDir, 'logs-scrolled-deep', false);
  return { lines_deep: await count(page, LINES) };
}

/** Waits until the card's player has played a little, then seeks, which takes a byte range. */
async function playsIn(page, id, tag) {
  const card = page.locator(`${CARDS}[data-pelko-id="${id}"]`);
  await card.locator('button[data-action="play"]').click();
  const media = card.locator(`[data-role="player"] ${tag}`);
  await media.waitFor();
  assert.equal(await media.getAttribute('src'), `/download/${id}?inline=1`);
  assert.equal(await card.locator('button[data-action="play"]').textContent(), 'Close');
  await page.waitForFunction(([selector]) => {
    const node = document.querySelector(selector);
    return node && !node.paused && node.currentTime > 0.3;
  }, [`${CARDS}[data-pelko-id="${id}"] ${tag}`]);
  const played = await media.evaluate(async (node) => {
    node.pause();
    node.currentTime = node.duration - 0.5;
    await new Promise((resolve) => node.addEventListener('seeked', resolve, { once: true }));
    return { duration: node.duration, at: node.currentTime, width: node.videoWidth ?? 0 };
  });
  return played;
}

/** Play on a finished audio card and on a video card: the file plays in the card, and seeks. */
export async function play({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#history`);
  await page.waitForSelector(`${CARDS}[data-pelko-id="sound"]`);
  const sound = await playsIn(page, 'sound', 'audio');
  const clip = await playsIn(page, 'clip', 'video');
  await picture(page, outDir, 'history-players');
  await page.locator(`${CARDS}[data-pelko-id="sound"] button[data-action="play"]`).click();
  assert.equal(await count(page, `${CARDS}[data-pelko-id="sound"] audio`), 0, 'closed again');
  return { sound, clip };
}

/** "Retry all failed", "Remove all failed" and removing the ticked cards. */
export async function bulkActions({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#history`);
  await page.selectOption('#history-status', 'failed');
  await expectText(page, '#history-count', '4 of 4 matches');
  await picture(page, outDir, 'history-failed');

  await page.click('#history-retry-failed');
  await expectMessage(page, '#history-message', 'ok', '4 of 4 downloads queued again.');
  // Two fail again at once; the other two finish.
  await page.waitForFunction(() => document.getElementById('history-count').textContent === '2 of 2 matches',
    null, { timeout: 60000 });

  await page.click('#history-remove-failed');
  await page.waitForSelector('#confirm-dialog[open]');
  assert.equal(await page.textContent('#confirm-title'), 'Remove 2 failed downloads?');
  await page.click('#confirm-ok');
  await expectMessage(page, '#history-message', 'ok', '2 of 2 downloads removed.');
  await page.waitForSelector('#history-empty:not([hidden])');
  assert.equal(await page.textContent('#history-empty'), 'No download matches.');

  await page.selectOption('#history-status', '');
  await expectText(page, '#history-count', '5 of 5 downloads');
  assert.ok(await page.isHidden('#history-remove-selected'));
  await page.check(`${CARDS}[data-pelko-id="keep2"] [data-role="select"]`);
  await page.check(`${CARDS}[data-pelko-id="keep3"] [data-role="select"]`);
  await expectText(page, '#history-remove-selected', 'Remove selected (2)');
  await picture(page, outDir, 'history-selected');
  await page.click('#history-remove-selected');
  await page.click('#confirm-ok');
  await expectMessage(page, '#history-message', 'ok', '2 of 2 downloads removed.');
  await expectText(page, '#history-count', '3 of 3 downloads');
  assert.ok(await page.isHidden('#history-remove-selected'));
  return { left: await page.$$eval(CARDS, (cards) => cards.map((card) => card.dataset.pelkoId)) };
}
