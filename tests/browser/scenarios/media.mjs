// The quality and playlist choices of the queue form, and the Cookies and Downloader sections of
// Settings: cookies loaded from a file and cleared, the downloader's name and version, its update.

import assert from 'node:assert/strict';
import { expectMessage, picture, waitForSettings } from './helpers.mjs';
import { fakeVideoUrl, queueDownload } from './downloads.mjs';

const WAIT_MS = 60000;
const COOKIE_MARKER = 'pelko-browser-cookie';
export const COOKIES = `# Netscape HTTP Cookie File\n.videos.example\tTRUE\t/\tFALSE\t0\tsession\t${COOKIE_MARKER}\n`;

/** Titles of the session's cards, oldest first. */
function sessionTitles(page) {
  return page.$$eval('#session-list > li [data-role="title"]', (nodes) => nodes.map((node) => node.textContent).reverse());
}

/**
 * The quality shows for video only and reaches the card; "Whole playlist" queues each video of a
 * playlist; a playlist queued as one video says how to queue it; the audio format shows for audio
 * only and reaches the card.
 */
export async function qualityAndPlaylist({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('#session-empty:not([hidden]), #session-list > li');
  assert.ok(await page.isVisible('#queue-quality'));
  assert.ok(await page.isHidden('#queue-audio-format'), 'no audio format for video');
  await page.check('#queue-mode-audio');
  assert.ok(await page.isHidden('#queue-quality'), 'no quality for audio');
  assert.ok(await page.isVisible('#queue-audio-format'));
  await page.check('#queue-mode-video');
  assert.ok(await page.isHidden('#note-playlist'));

  await page.selectOption('#queue-quality', '720');
  const single = await queueDownload(page, fakeVideoUrl({ fake_title: 'Mountain timelapse' }), 'video');
  const singleCard = page.locator(`#session-list > li[data-pelko-id="${single}"]`);
  await singleCard.waitFor();
  assert.equal(await singleCard.locator('[data-role="mode"]').textContent(), 'Video · MP4 · up to 720p');

  await page.check('#queue-playlist');
  assert.ok(await page.isVisible('#note-playlist'));
  const first = await queueDownload(page, fakeVideoUrl({ fake_playlist: '3' }), 'video');
  await expectMessage(page, '#queue-message', 'ok', 'Playlist queued! Its 3 videos join the queue one after the other.');
  assert.equal(await page.inputValue('#queue-url'), '');
  await page.waitForFunction(() => document.querySelectorAll('#session-list > li').length === 4, null, { timeout: WAIT_MS });
  assert.deepEqual(await sessionTitles(page), ['Mountain timelapse', 'Fake video 1', 'Fake video 2', 'Fake video 3']);
  assert.equal(await page.locator(`#session-list > li[data-pelko-id="${first}"] [data-role="title"]`).textContent(),
    'Fake video 1');
  await picture(page, outDir, 'queue-playlist');

  await page.uncheck('#queue-playlist');
  await queueDownload(page, fakeVideoUrl({ fake_playlist: '2', fake_title: 'List' }), 'video');
  await expectMessage(page, '#queue-message', 'error', 'This address is a playlist, not a single video. Tick “Whole playlist”');

  await page.check('#queue-mode-audio');
  await page.selectOption('#queue-audio-format', 'opus');
  const audio = await queueDownload(page, fakeVideoUrl({ fake_title: 'Night sounds' }), 'audio');
  const audioCard = page.locator(`#session-list > li[data-pelko-id="${audio}"]`);
  await audioCard.waitFor();
  assert.equal(await audioCard.locator('[data-role="mode"]').textContent(), 'Audio · Opus');
  await picture(page, outDir, 'queue-audio-format');
  return { single, first, audio };
}

function cookiesState(page) {
  return page.locator('#cookies-state').textContent();
}

/** Cookies loaded from a file (a wrong one is refused, saying why), kept across a reload, cleared. */
export async function cookies({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  await page.waitForFunction(() => document.getElementById('cookies-state').dataset.cookiesSet !== '');
  assert.equal(await cookiesState(page), 'No cookies are set.');
  assert.ok(await page.isHidden('#cookies-clear'));

  await page.setInputFiles('#cookies-file', { name: 'export.json', mimeType: 'application/json', buffer: Buffer.from('[{"name": "x"}]') });
  await expectMessage(page, '#cookies-message', 'error', 'The cookies text is JSON');
  assert.equal(await cookiesState(page), 'No cookies are set.');

  await page.setInputFiles('#cookies-file', { name: 'cookies.txt', mimeType: 'text/plain', buffer: Buffer.from(COOKIES) });
  await expectMessage(page, '#cookies-message', 'ok', 'Cookies set: every download sends them from now on.');
  assert.equal(await cookiesState(page), 'Cookies are set: every download sends them.');
  await page.reload();
  await page.waitForFunction(() => document.getElementById('cookies-state').dataset.cookiesSet === 'true');
  assert.ok(await page.isVisible('#cookies-clear'));
  assert.ok(!(await page.content()).includes(COOKIE_MARKER), 'the page never shows the cookies');
  await page.locator('#cookies-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'settings-cookies-set');

  await page.click('#cookies-clear');
  await expectMessage(page, '#cookies-message', 'ok', 'Cookies cleared.');
  assert.equal(await cookiesState(page), 'No cookies are set.');
  assert.ok(await page.isHidden('#cookies-clear'));
}

async function openDownloaderSection(page, baseUrl) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  await page.waitForFunction(() => document.getElementById('downloader-state').textContent !== '…');
}

/** The system's program is shown; an update that fails says why and changes nothing. */
export async function updateFails({ page, baseUrl, outDir }) {
  await openDownloaderSection(page, baseUrl);
  assert.equal(await page.locator('#downloader-state').textContent(), 'youtube-dl 2021.12.17 · installed on this system');
  assert.equal(await page.locator('#downloader-runtime').textContent(),
    'JavaScript runtime: none yet. Update installs deno, which YouTube downloads need.');
  await page.click('#downloader-update');
  await expectMessage(page, '#downloader-message', 'error',
    'The update failed. The downloaded yt-dlp does not match its SHA-256 sum in SHA2-256SUMS. The old program stays in use. '
    + 'The JavaScript runtime deno was not updated: The downloaded deno-x86_64-unknown-linux-gnu.zip does not match its '
    + 'SHA-256 sum in deno-x86_64-unknown-linux-gnu.zip.sha256sum. The old one stays in use.');
  assert.equal(await page.locator('#downloader-update .button-text').textContent(), 'Update yt-dlp');
  assert.equal(await page.locator('#downloader-state').textContent(), 'youtube-dl 2021.12.17 · installed on this system');
  await page.locator('#downloader-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'settings-update-failed');
}
// Chromium reports the 500 of the failed update as a failed resource.
updateFails.allowedApiStatuses = [500];

/** A good release is installed as Pelko's own copy, and the section says so. */
export async function updateSucceeds({ page, baseUrl, outDir }) {
  await openDownloaderSection(page, baseUrl);
  await page.click('#downloader-update');
  await expectMessage(page, '#downloader-message', 'ok',
    'yt-dlp 2099.01.01 and deno 2.5.6 are installed; the next downloads use them.');
  await page.waitForFunction(() => document.getElementById('downloader-state').dataset.ownCopy === 'true');
  assert.equal(await page.locator('#downloader-state').textContent(),
    'yt-dlp 2099.01.01 · Pelko’s own copy, kept current by Update');
  assert.equal(await page.locator('#downloader-runtime').textContent(),
    'JavaScript runtime: deno 2.5.6 · Pelko’s own, for YouTube');
  assert.ok((await page.locator('#downloader-path').textContent()).endsWith('/bin/yt-dlp'));
  await page.locator('#downloader-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'settings-updated');
}
