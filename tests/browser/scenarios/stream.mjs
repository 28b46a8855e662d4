// The event stream: with it open the page follows a download without asking the server anything.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { screenshot } from '../browser.mjs';
import { fakeVideoUrl, queueDownload } from './downloads.mjs';

const WAIT_MS = 60000;

/**
 * A download queued with the stream open: its card shows progress between 0 and 100 and then the
 * finished download, and meanwhile the page asks for no list (a change still has the footer measure
 * the disk usage once).
 */
export async function pushedProgress({ page, baseUrl, outDir }) {
  const release = path.join(outDir, `pushed-${Date.now()}`);
  const commands = [];
  page.on('request', (request) => {
    if (request.url().endsWith('/api')) commands.push(request.postDataJSON()?.request ?? '?');
  });
  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('html[data-event-stream="open"]');
  await page.waitForSelector('#session-empty:not([hidden]), #session-list > li');

  const id = await queueDownload(page, fakeVideoUrl({ fake_title: 'Pushed along', fake_slow: '4', fake_hold: release }),
    'audio');
  const card = `#session-list > li[data-pelko-id="${id}"]`;
  const progressAbove = (floor) => page.waitForFunction(([selector, least]) => {
    const value = Number(document.querySelector(`${selector} [data-role="progress"]`)?.getAttribute('aria-valuenow'));
    return value > least && value < 100 ? value : null;
  }, [card, floor], { timeout: WAIT_MS }).then((handle) => handle.jsonValue());

  // Past the list that the page fetches once after queuing, only the stream brings news.
  const first = await progressAbove(0);
  commands.length = 0;
  await progressAbove(first);
  await screenshot(page, outDir, 'pushed-progress');
  fs.writeFileSync(release, '');
  await page.waitForSelector(`${card}[data-status="finished"]`, { timeout: WAIT_MS });
  assert.deepEqual(commands.filter((name) => name.startsWith('fetch_')), [], 'lists asked for while the stream was open');
  assert.equal(await page.getAttribute('html', 'data-event-stream'), 'open');
  return { pelko_id: id };
}

/**
 * A list asked for before a change but delivered after the change's event (the two come over two
 * connections) does not undo the change: the card keeps what the stream told.
 */
export async function lateListReply({ page, baseUrl, outDir }) {
  const release = path.join(outDir, `late-${Date.now()}`);
  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('html[data-event-stream="open"]');
  await page.waitForSelector('#session-empty:not([hidden]), #session-list > li');

  // The list that the page asks for after queuing is read from the server at once, while the
  // download still runs, and handed to the page only once the stream has told of the conversion.
  let delivered = null;
  await page.route('**/api', async (route) => {
    if (delivered !== null || route.request().postDataJSON()?.request !== 'fetch_session_cache') {
      await route.fallback();
      return;
    }
    let deliver;
    delivered = new Promise((resolve) => { deliver = resolve; });
    const response = await route.fetch();
    const stale = await response.json();
    await page.waitForSelector('#session-list > li[data-stage="converting"]', { timeout: WAIT_MS });
    await route.fulfill({ response, json: stale });
    deliver(stale);
  });
  const id = await queueDownload(page, fakeVideoUrl({
    fake_title: 'Late list', fake_slow: '2', fake_postprocess: '1', fake_hold: release,
  }), 'audio');
  const stale = await waitFor(() => delivered);
  const staleEntry = stale.cache.find((entry) => entry.pelko_id === id);
  assert.ok(staleEntry && staleEntry.stage !== 'converting' && staleEntry.status !== 'finished',
    `the held list was read before the conversion: ${JSON.stringify(staleEntry)}`);
  // Time for the page to show the late list, were it to undo the change.
  await page.evaluate(() => new Promise((resolve) => { setTimeout(resolve, 500); }));
  const card = `#session-list > li[data-pelko-id="${id}"]`;
  assert.equal(await page.getAttribute(card, 'data-stage'), 'converting', 'the late list undid the conversion');
  fs.writeFileSync(release, '');
  await page.waitForSelector(`${card}[data-status="finished"]`, { timeout: WAIT_MS });
  return { pelko_id: id };
}

/** What `next()` gives once it gives something other than null. */
async function waitFor(next) {
  for (;;) {
    const value = next();
    if (value !== null) return value;
    await new Promise((resolve) => { setTimeout(resolve, 50); });
  }
}
