// The Subscriptions view: following a channel (its backlog queued at once, its cards named after it),
// what each followed one shows, Check now, refusals; pause and resume, edit and removal.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { screenshot } from '../browser.mjs';
import { isCommand } from './downloads.mjs';
import { expectMessage, openView, picture } from './helpers.mjs';

// Each video of a backlog joins the list once its details are read, one a second.
const QUEUE_TIMEOUT_MS = 40000;
const YOUTUBE_CHANNEL = 'UCabcdefghijklmnopqrstuv';

/** The address of a channel of `count` videos that the fake downloader lists, its switches in the query. */
export function fakeChannelUrl(count, switches = {}) {
  return `https://videos.example/channel?${new URLSearchParams({ ...switches, fake_channel: String(count) })}`;
}

function card(page, name) {
  return page.locator('#subscription-list > li', { has: page.locator('[data-role="name"]', { hasText: name }) });
}

/** The selector of a part of the card of the subscription `id`, by its role. */
function partOf(id, role = 'message') {
  return `#subscription-list > li[data-subscription-id="${id}"] [data-role="${role}"]`;
}

/** What a card shows, by role. */
function cardFacts(locator) {
  return locator.evaluate((node) => {
    const text = (role) => node.querySelector(`[data-role="${role}"]`).textContent;
    return {
      name: text('name'), address: text('address'), meta: text('meta'), last: text('last-check'),
      next: text('next-check'), counts: text('counts'), feed: !node.querySelector('[data-role="feed"]').hidden,
      paused: !node.querySelector('[data-role="paused"]').hidden,
      problem: node.querySelector('[data-role="problem"]').hidden ? '' : text('error'), reason: text('reason'),
      pause: node.querySelector('[data-action="pause"] .button-text').textContent,
    };
  });
}

/** Records every value aria-busy takes on `selector`, so that a short busy phase is not missed. */
function recordBusy(page, selector) {
  return page.evaluate((target) => {
    const node = document.querySelector(target);
    window.busyStates = [];
    window.busyObserver?.disconnect();
    window.busyObserver = new MutationObserver(() => window.busyStates.push(node.getAttribute('aria-busy')));
    window.busyObserver.observe(node, { attributes: true, attributeFilter: ['aria-busy'] });
  }, selector);
}

/** Follows `url` through the form; resolves with the form's message once the form is idle again. */
async function follow(page, url, { mode = 'video', interval = 60, backlog = 0, keep = 0, expect = 'ok' } = {}) {
  await page.fill('#subscription-url', url);
  await page.check(`#subscription-mode-${mode}`);
  for (const [id, value] of [['check-interval', interval], ['backlog', backlog], ['keep-last', keep]]) {
    await page.fill(`#subscription-${id}`, String(value));
  }
  await recordBusy(page, '#subscription-form');
  const replied = page.waitForResponse(isCommand('add_subscription'));
  await page.click('#subscription-submit');
  await replied;
  await page.waitForSelector('#subscription-form[aria-busy="false"]');
  const text = await expectMessage(page, '#subscription-message', expect);
  assert.deepEqual(await page.evaluate(() => window.busyStates), ['true', 'false'], 'busy while the server lists');
  return text;
}

/** The local time the page shows for a timestamp: the browser runs in UTC with British English. */
function localTime(epochSeconds) {
  return new Intl.DateTimeFormat('en-GB', { dateStyle: 'medium', timeStyle: 'medium', timeZone: 'UTC' })
    .format(new Date(epochSeconds * 1000));
}

async function command(page, baseUrl, data) {
  const reply = await page.request.post(`${baseUrl}/api`, { data });
  assert.equal(reply.status(), 200, await reply.text());
  return reply.json();
}

/** The followed ones as the server lists them, by name. */
async function listed(page, baseUrl) {
  const { subscriptions } = await command(page, baseUrl, { request: 'fetch_subscriptions' });
  return Object.fromEntries(subscriptions.map((subscription) => [subscription.name, subscription]));
}

/** Waits until the cache holds `count` downloads that subscriptions queued; their pelko ids by subscription id. */
async function waitForQueued(page, baseUrl, count) {
  const deadline = Date.now() + QUEUE_TIMEOUT_MS;
  for (;;) {
    const { cache } = await command(page, baseUrl, { request: 'fetch_alltime_cache' });
    const queued = cache.filter((entry) => entry.subscription_id);
    if (queued.length >= count) {
      const byId = {};
      for (const entry of queued) (byId[entry.subscription_id] ??= []).push(entry.pelko_id);
      return byId;
    }
    assert.ok(Date.now() < deadline, `${queued.length} of ${count} downloads queued`);
    await page.waitForTimeout(200);
  }
}

/**
 * Refused addresses say why; a channel followed with a backlog of 3 queues its 3 newest, whose cards
 * name it; the list shows its fields; Check now queues what is new; a refused check is told in plain
 * words; a YouTube channel shows the feed marker.
 */
export async function subscriptionsFollow({ page, baseUrl, outDir }) {
  const grown = path.join(outDir, `grown-${Date.now()}`);
  const throttle = path.join(outDir, `throttle-${Date.now()}`);
  await page.goto(`${baseUrl}/#subscriptions`);
  await page.waitForSelector('#subscriptions-empty:not([hidden])');
  await page.click('#subscription-submit');
  await expectMessage(page, '#subscription-message', 'error', 'Enter the address of a channel or playlist first.');

  const refusals = [
    ['http://127.0.0.1/watch?v=pelko', {},
      'The address is a single video, not a channel or playlist: queue it as a download instead.'],
    [fakeChannelUrl(3, { fake_fail: 'metadata' }), {}, 'The address could not be listed: ERROR: fake metadata failure'],
    [fakeChannelUrl(3), { interval: 5 },
      "Parameter 'check_interval' is of wrong value. Should be a whole number from 10 to 10080."],
  ];
  for (const [url, options, reason] of refusals) {
    const text = await follow(page, url, { ...options, expect: 'error' });
    assert.ok(text.includes(reason), `"${text}" for ${url}`);
    assert.equal(await page.inputValue('#subscription-url'), url, 'the address stays for a correction');
  }
  assert.ok(await page.isVisible('#subscriptions-empty'));

  const cooking = fakeChannelUrl(8, { fake_title: 'Cooking with Ada', fake_grow: grown });
  assert.ok(await page.isVisible('#subscription-quality'));
  await page.check('#subscription-mode-audio');
  assert.ok(await page.isHidden('#subscription-quality'), 'no quality for audio');
  const added = await follow(page, cooking, { mode: 'audio', interval: 120, backlog: 3 });
  assert.equal(added, 'Subscription added! Following “Cooking with Ada”: 3 videos queued now, and its new videos '
    + 'download by themselves.');
  assert.equal(await page.inputValue('#subscription-url'), '');
  const first = card(page, 'Cooking with Ada');
  await first.waitFor();
  const server = (await listed(page, baseUrl))['Cooking with Ada'];
  const facts = await cardFacts(first);
  assert.deepEqual(facts, {
    name: 'Cooking with Ada', address: cooking, meta: 'Audio · MP3 · checked every 2 hours',
    last: localTime(server.last_check), next: localTime(server.next_check), counts: '8 seen · 3 queued',
    feed: false, paused: false, problem: '', reason: '', pause: 'Pause',
  });

  await openView(page, 'downloads');
  await page.waitForFunction(() => document.querySelectorAll('#session-list [data-role="subscription"]').length === 3,
    null, { timeout: QUEUE_TIMEOUT_MS });
  const queued = await page.$$eval('#session-list > li', (cards) => cards.map((node) => [
    node.querySelector('[data-role="title"]').textContent, node.querySelector('[data-role="subscription"]').textContent,
  ]).reverse());
  assert.deepEqual(queued, ['Fake video 6', 'Fake video 7', 'Fake video 8'].map((title) => [title,
    'Subscription: Cooking with Ada']));
  await picture(page, outDir, 'subscription-downloads');

  await openView(page, 'subscriptions');
  fs.writeFileSync(grown, '2');
  await recordBusy(page, `#subscription-list > li[data-subscription-id="${server.id}"]`);
  await first.locator('[data-action="check"]').click();
  await expectMessage(page, partOf(server.id), 'ok', '2 new videos queued.');
  assert.deepEqual(await page.evaluate(() => window.busyStates), ['true', 'false'], 'busy while the server checks');
  assert.equal((await cardFacts(first)).counts, '10 seen · 5 queued');
  await first.locator('[data-action="check"]').click();
  await expectMessage(page, partOf(server.id), 'ok', 'No new videos.');

  await follow(page, fakeChannelUrl(3, { fake_title: 'Garden diary', fake_list_id: 'garden', fake_channel_id: YOUTUBE_CHANNEL }));
  await card(page, 'Garden diary').waitFor();
  assert.equal((await cardFacts(card(page, 'Garden diary'))).feed, true, 'a YouTube channel is checked by its feed');

  await follow(page, fakeChannelUrl(3, { fake_title: 'Busy channel', fake_list_id: 'busy', fake_throttle: throttle }));
  const busy = card(page, 'Busy channel');
  await busy.waitFor();
  fs.writeFileSync(throttle, '');
  await busy.locator('[data-action="check"]').click();
  await expectMessage(page, partOf((await listed(page, baseUrl))['Busy channel'].id), 'error', 'The check failed.');
  const refused = await cardFacts(busy);
  assert.equal(refused.problem, 'The site refused the check: too many requests. Pelko waits longer before the next one.');
  assert.match(refused.reason, /HTTP Error 429: Too Many Requests$/);
  await picture(page, outDir, 'subscriptions');
  // Each card names its podcast feed, which the server answers.
  const feed = await page.getAttribute(partOf(server.id, 'podcast'), 'href');
  assert.equal(feed, `/feeds/${server.id}.xml`);
  const rss = await (await page.request.get(`${baseUrl}${feed}`)).text();
  assert.ok(rss.includes('<title>Pelko: Cooking with Ada</title>'), rss);
  return { subscriptions: Object.values(await listed(page, baseUrl)) };
}

/** Pause and resume (kept by the server), edit (a refusal first), remove without and with the downloads. */
export async function subscriptionsManage({ page, baseUrl, outDir }) {
  for (const [name, list] of [['Morning news', 'morning'], ['Evening news', 'evening']]) {
    await command(page, baseUrl, {
      request: 'add_subscription', url: fakeChannelUrl(4, { fake_title: name, fake_list_id: list }), backlog: 2,
    });
  }
  const ids = Object.fromEntries(Object.entries(await listed(page, baseUrl)).map(([name, { id }]) => [name, id]));
  const message = partOf(ids['Morning news']);
  await page.goto(`${baseUrl}/#subscriptions`);
  const morning = page.locator(`#subscription-list > li[data-subscription-id="${ids['Morning news']}"]`);
  await morning.waitFor();

  await morning.locator('[data-action="pause"]').click();
  await expectMessage(page, message, 'ok', 'Paused: it is not checked until you resume it.');
  const paused = { paused: true, next: 'paused', pause: 'Resume' };
  const pick = (facts) => ({ paused: facts.paused, next: facts.next, pause: facts.pause });
  assert.deepEqual(pick(await cardFacts(morning)), paused);
  await page.reload();
  await morning.waitFor();
  assert.deepEqual(pick(await cardFacts(morning)), paused, 'the server keeps it paused');
  await picture(page, outDir, 'subscription-paused');
  await morning.locator('[data-action="pause"]').click();
  await expectMessage(page, message, 'ok', 'Resumed: the next check is at');
  const resumed = (await listed(page, baseUrl))['Morning news'];
  assert.deepEqual(pick(await cardFacts(morning)), { paused: false, next: localTime(resumed.next_check), pause: 'Pause' });

  const editButton = morning.locator('[data-action="edit"]');
  await editButton.click();
  const prefix = `#edit-${resumed.id}`;
  assert.equal(await editButton.getAttribute('aria-expanded'), 'true');
  assert.equal(await page.inputValue(`${prefix}-name`), 'Morning news');
  assert.equal(await page.inputValue(`${prefix}-check-interval`), '60');
  await page.fill(`${prefix}-name`, 'Morning headlines');
  await page.check(`${prefix}-mode-audio`);
  await page.fill(`${prefix}-check-interval`, '5');
  await page.fill(`${prefix}-keep-last`, '4');
  await morning.locator('[data-action="save"]').click();
  await expectMessage(page, partOf(resumed.id, 'edit-message'), 'error',
    "Parameter 'check_interval' is of wrong value. Should be a whole number from 10 to 10080.");
  await page.fill(`${prefix}-check-interval`, '30');
  await picture(page, outDir, 'subscription-edit');
  await morning.locator('[data-action="save"]').click();
  await expectMessage(page, message, 'ok', 'Subscription changed.');
  assert.ok(await morning.locator('form.subscription-edit').isHidden(), 'the edit form closes');
  assert.equal(await page.evaluate(() => document.activeElement.dataset.action), 'edit');
  const edited = await cardFacts(morning);
  assert.deepEqual([edited.name, edited.meta], ['Morning headlines', 'Audio · MP3 · checked every 30 minutes · keeps the newest 4']);

  // Cancel removes nothing; the box to delete the downloads starts unticked.
  await morning.locator('[data-action="remove"]').click();
  assert.equal(await page.isChecked('#confirm-option-box'), false);
  await page.click('#confirm-dialog[open] #confirm-cancel');
  assert.equal(await page.locator('#subscription-list > li').count(), 2, 'Cancel removes nothing');
  await morning.locator('[data-action="remove"]').click();
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#subscriptions-message', 'ok', 'Subscription removed. Its downloads stay in the cache.');
  await morning.waitFor({ state: 'detached' });

  // Every download of the backlogs has joined the cache, so that all of the evening's go.
  const downloads = await waitForQueued(page, baseUrl, 4);
  const evening = card(page, 'Evening news');
  await evening.locator('[data-action="remove"]').click();
  assert.equal(await page.textContent('#confirm-title'), 'Stop following “Evening news”?');
  await page.check('#confirm-option-box');
  await screenshot(page, outDir, 'subscription-remove');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#subscriptions-message', 'ok', 'Subscription removed. 2 downloads deleted.');
  await page.waitForSelector('#subscriptions-empty:not([hidden])');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'subscription-url');
  return { kept: downloads[ids['Morning news']], deleted: downloads[ids['Evening news']] };
}
