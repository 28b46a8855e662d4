// The Downloads view: queue an audio download, follow its progress to the end, save the file, remove it.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { screenshot } from '../browser.mjs';
import { assertFitsNarrowScreen, expectMessage, openView, PHONE } from './helpers.mjs';

const TITLE = 'Morning birdsong';
// The fake downloader spreads its progress over this many seconds, so the page, which polls once a
// second, has time to show some value between 0 and 100.
const SLOW_SECONDS = 9;
const DOWNLOAD_TIMEOUT_MS = 90000;

/** The page address handed to the fake downloader, its switches in the query. */
export function fakeVideoUrl(switches) {
  return `http://127.0.0.1/watch?${new URLSearchParams({ v: 'pelko', ...switches })}`;
}

/** Matches the reply to the command `name`, for page.waitForResponse. */
export function isCommand(name) {
  return (response) => response.url().endsWith('/api') && response.request().postDataJSON()?.request === name;
}

/** Records every value the form's aria-busy takes, so that a short busy phase is not missed. */
function recordBusyStates(page) {
  return page.evaluate(() => {
    const form = document.getElementById('queue-form');
    window.busyStates = [];
    new MutationObserver(() => window.busyStates.push(form.getAttribute('aria-busy')))
      .observe(form, { attributes: true, attributeFilter: ['aria-busy'] });
  });
}

/** Polls the card until the download finished or failed; every progress value and status seen, in order. */
async function followProgress(page, card, onProgress) {
  const seen = [];
  const deadline = Date.now() + DOWNLOAD_TIMEOUT_MS;
  for (;;) {
    const state = await card.evaluate((node) => {
      const bar = node.querySelector('[data-role="progress"]');
      return {
        status: node.dataset.status,
        value: bar.hidden ? null : Number(bar.getAttribute('aria-valuenow')),
        percent: node.querySelector('[data-role="percent"]').textContent,
      };
    });
    const last = seen[seen.length - 1];
    if (!last || last.status !== state.status || last.value !== state.value) {
      seen.push(state);
      await onProgress(state);
    }
    if (state.status === 'finished' || state.status === 'failed') return seen;
    assert.ok(Date.now() < deadline, `the download did not end: ${JSON.stringify(seen)}`);
    await page.waitForTimeout(100);
  }
}

/** Queues `url` through the form and resolves with the new pelko id once the form is idle again. */
export async function queueDownload(page, url, mode) {
  await page.fill('#queue-url', url);
  await page.check(`#queue-mode-${mode}`);
  const queued = page.waitForResponse(isCommand('queue_download'));
  await page.click('#queue-submit');
  const reply = await (await queued).json();
  assert.equal(typeof reply.pelko_id, 'string', `queue_download answered ${JSON.stringify(reply)}`);
  await page.waitForSelector('#queue-form[aria-busy="false"]');
  return reply.pelko_id;
}

export async function audioDownload({ page, baseUrl, outDir }) {
  const url = fakeVideoUrl({ fake_slow: String(SLOW_SECONDS), fake_title: TITLE });
  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('#session-empty:not([hidden]), #session-list > li');
  await recordBusyStates(page);

  const id = await queueDownload(page, url, 'audio');
  assert.deepEqual(await page.evaluate(() => window.busyStates), ['true', 'false'], 'busy while the server works');
  await expectMessage(page, '#queue-message', 'ok', 'Download queued!');
  assert.equal(await page.inputValue('#queue-url'), '', 'the field is emptied for the next address');
  assert.equal(await page.$eval('#queue-url', (input) => input.matches(':user-invalid, [aria-invalid="true"]')), false,
    'the emptied field is not marked as wrong');

  const card = page.locator(`#session-list > li[data-pelko-id="${id}"]`);
  await card.waitFor();
  assert.equal(await card.getAttribute('data-mode'), 'audio');
  assert.equal(await card.locator('[data-role="title"]').textContent(), TITLE);
  assert.equal(await card.locator('[data-role="uploader"]').textContent(), 'Fake Uploader');
  assert.equal(await card.locator('[data-role="duration"]').textContent(), '0:42');
  assert.ok(await page.isHidden('#session-empty'));
  const save = card.locator('a[data-action="save"]');

  let pictured = false;
  const seen = await followProgress(page, card, async (state) => {
    if (state.status !== 'finished') assert.ok(await save.isHidden(), `Save shown while ${state.status}`);
    if (!pictured && state.status === 'downloading' && state.value > 0 && state.value < 100) {
      assert.equal(state.percent, `${state.value} %`);
      await screenshot(page, outDir, 'downloading');
      pictured = true;
    }
  });
  const values = seen.map((state) => state.value);
  assert.equal(seen[seen.length - 1].status, 'finished', `the download ended so: ${JSON.stringify(seen)}`);
  assert.ok(values.some((value) => value > 0 && value < 100), `no progress between 0 and 100: ${values}`);
  assert.deepEqual(values, [...values].sort((a, b) => a - b), `the bar went backwards: ${values}`);
  assert.equal(values[values.length - 1], 100);
  assert.equal(await card.locator('[data-role="percent"]').textContent(), '100 %');
  assert.equal(await card.locator('[data-role="status"]').textContent(), 'Finished');

  await save.waitFor();
  assert.equal(await card.locator('[data-role="detail"]').textContent(),
    'In the library: Fake Uploader/Morning birdsong [fake].mp3');
  assert.equal(await save.getAttribute('href'), `/download/${id}`);
  assert.notEqual(await save.getAttribute('download'), null);
  await screenshot(page, outDir, 'download-finished');
  const desktop = page.viewportSize();
  await page.setViewportSize(PHONE);
  await assertFitsNarrowScreen(page, 'a finished download');
  await screenshot(page, outDir, 'phone-download-finished');
  await page.setViewportSize(desktop);
  const [download] = await Promise.all([page.waitForEvent('download'), save.click()]);
  const savedFile = path.join(outDir, 'saved', download.suggestedFilename());
  fs.mkdirSync(path.dirname(savedFile), { recursive: true });
  await download.saveAs(savedFile);
  assert.equal(await download.failure(), null);

  // The history lists it too, until it is removed.
  await openView(page, 'history');
  await page.waitForSelector(`#history-list > li[data-pelko-id="${id}"][data-status="finished"]`);
  await openView(page, 'downloads');

  await card.locator('button[data-action="remove"]').click();
  await expectMessage(page, '#session-message', 'ok', 'Successfully removed.');
  await card.waitFor({ state: 'detached' });
  if (await page.locator('#session-list > li').count() === 0) await page.locator('#session-empty').waitFor();
  await openView(page, 'history');
  await page.waitForSelector(`#history-list > li[data-pelko-id="${id}"]`, { state: 'detached' });

  return { pelko_id: id, url, saved_file: savedFile, suggested_filename: download.suggestedFilename(), progress: values };
}

/**
 * "Clear cache" asks first; while a download runs the server only promises to clear, which the page
 * shows as a notice, and the history empties by itself once the download has finished.
 */
export async function clearCacheWhileDownloading({ page, baseUrl, outDir }) {
  const release = path.join(outDir, `release-${Date.now()}`);
  await page.goto(`${baseUrl}/`);
  const done = await queueDownload(page, fakeVideoUrl({ fake_title: 'Finished before' }), 'video');
  await page.waitForSelector(`#session-list > li[data-pelko-id="${done}"][data-status="finished"]`,
    { timeout: DOWNLOAD_TIMEOUT_MS });
  const held = await queueDownload(page, fakeVideoUrl({ fake_title: 'Still running', fake_hold: release }), 'video');
  await page.waitForSelector(`#session-list > li[data-pelko-id="${held}"][data-status="downloading"]`,
    { timeout: DOWNLOAD_TIMEOUT_MS });

  await openView(page, 'history');
  await page.waitForSelector(`#history-list > li[data-pelko-id="${done}"]`);
  await screenshot(page, outDir, 'history-with-downloads');
  await page.click('#history-clear');
  await page.click('#confirm-dialog[open] #confirm-cancel');
  const both = `#history-list > li[data-pelko-id="${done}"], #history-list > li[data-pelko-id="${held}"]`;
  assert.equal(await page.locator(both).count(), 2, 'Cancel clears nothing');
  assert.equal(await page.textContent('#history-message'), '');

  await page.click('#history-clear');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#history-message', 'notice', 'cannot be cleared right now');
  assert.equal(await page.locator(both).count(), 2, 'nothing is gone while the download runs');

  fs.writeFileSync(release, '');
  await page.waitForSelector('#history-empty:not([hidden])', { timeout: DOWNLOAD_TIMEOUT_MS });
  assert.equal(await page.locator('#history-list > li').count(), 0);
  await openView(page, 'downloads');
  await page.waitForSelector('#session-empty:not([hidden])');
  return { ids: [done, held] };
}

/** An empty address is caught by the page; an address whose details cannot be read is said so. */
export async function queueProblems({ page, baseUrl }) {
  await page.goto(`${baseUrl}/`);
  await page.click('#queue-submit');
  await expectMessage(page, '#queue-message', 'error', 'Enter the address of a video page first.');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'queue-url');

  const url = fakeVideoUrl({ fake_fail: 'metadata' });
  const id = await queueDownload(page, url, 'video');
  await expectMessage(page, '#queue-message', 'error', 'could not read the details of this video');
  assert.equal(await page.inputValue('#queue-url'), url, 'the address stays for a correction');
  const card = page.locator(`#session-list > li[data-pelko-id="${id}"][data-status="failed"]`);
  await card.waitFor();
  assert.equal(await card.locator('[data-role="status"]').textContent(), 'Failed');
  assert.ok(await card.locator('[data-role="progress"]').isHidden());
  assert.ok(await card.locator('a[data-action="save"]').isHidden());
  await card.locator('button[data-action="remove"]').click();
  await card.waitFor({ state: 'detached' });
  return { pelko_id: id };
}
