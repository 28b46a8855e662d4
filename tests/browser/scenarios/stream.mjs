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
