// The Settings view: a change is saved, survives a reload, and "Reset to defaults" undoes it.

import assert from 'node:assert/strict';
import { screenshot } from '../browser.mjs';
import { expectMessage, openView, picture, readSettings, waitForSettings } from './helpers.mjs';

const ADDED_ADDRESS = '192.0.2.15';
const LIBRARY_SETTINGS = ['library.subtitles', 'downloader.sponsorblock', 'downloader.sponsorblock_categories', 'library.nfo'];

/** Changes a number, a checkbox and the whitelist, saves, loads the page anew and finds them there. */
export async function settingsSurviveReload({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  const before = await readSettings(page);
  const threads = before['downloader.num_threads'] === '3' ? '2' : '3';
  const showConsole = !before['general.show_console'];

  await page.fill('#setting-downloader-num_threads', threads);
  await page.setChecked('#setting-general-show_console', showConsole);
  await page.click('button[data-add-to="whitelist-list"]');
  // The new row takes the focus, so typing goes straight into it.
  await page.keyboard.type(ADDED_ADDRESS);
  await expectMessage(page, '#settings-message', 'notice', 'You have unsaved changes.');
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'ok', 'Updated settings');

  await page.goto(`${baseUrl}/`);
  await page.waitForSelector('body[data-current-view="downloads"]');
  await openView(page, 'settings');
  await waitForSettings(page);
  const after = await readSettings(page);
  assert.equal(after['downloader.num_threads'], threads);
  assert.equal(after['general.show_console'], showConsole);
  assert.deepEqual(after['access.whitelist'], [...before['access.whitelist'], ADDED_ADDRESS]);
  assert.deepEqual(
    { ...after, 'downloader.num_threads': null, 'general.show_console': null, 'access.whitelist': null },
    { ...before, 'downloader.num_threads': null, 'general.show_console': null, 'access.whitelist': null },
    'only the changed settings differ after the reload');
  await screenshot(page, outDir, 'settings-saved');
  return { num_threads: Number(threads), show_console: showConsole, whitelist: after['access.whitelist'] };
}

/**
 * The Library section's subtitles, SponsorBlock mode and categories and media server files are
 * saved and shown again after a reload; categories the downloader would refuse are not taken.
 */
export async function librarySettings({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  const shown = async () => {
    const values = await readSettings(page);
    return LIBRARY_SETTINGS.map((path) => values[path]);
  };
  assert.deepEqual(await shown(), ['', 'off', 'sponsor', true]);

  // The template's example follows what is typed.
  const example = () => page.textContent('#library-template-example');
  assert.equal(await example(), 'For example: Garden Channel/Morning birdsong [dQw4w9WgXcQ].mp4');
  await page.fill('#setting-library-template', '{year}/{upload_date} {title}.{ext}');
  assert.equal(await example(), 'For example: 2024/2024-03-05 Morning birdsong.mp4');
  await page.fill('#setting-library-template', '{uploader}/{titel}.{ext}');
  assert.equal(await example(), '{titel} is not a field the server knows.');
  await page.fill('#setting-library-template', '{uploader}/{title} [{video_id}].{ext}');

  await page.fill('#setting-downloader-sponsorblock_categories', 'sponsor,adverts');
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'error', '“Segment categories”: Expected SponsorBlock');

  await page.fill('#setting-library-subtitles', 'en,de');
  await page.selectOption('#setting-downloader-sponsorblock', 'remove');
  await page.fill('#setting-downloader-sponsorblock_categories', 'sponsor,selfpromo');
  await page.setChecked('#setting-library-nfo', false);
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'ok', 'Updated settings');

  await page.reload();
  await waitForSettings(page);
  assert.deepEqual(await shown(), ['en,de', 'remove', 'sponsor,selfpromo', false]);
  await page.locator('#setting-library-dir').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'settings-library');
}

/**
 * A new port is saved with a note that it needs a restart; a path the server refuses is reported, not
 * shown as saved; "Reset to defaults" asks first, and Cancel keeps everything.
 */
export async function settingsRestartNoteAndReset({ page, baseUrl }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  const before = await readSettings(page);

  await page.fill('#setting-httpServer-port', '127.0.0.1:6970');
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'notice', 'takes effect after a restart');
  assert.equal(await page.inputValue('#setting-httpServer-port'), '127.0.0.1:6970');

  await page.fill('#setting-downloader-cachedir', '../elsewhere');
  await page.fill('#setting-downloader-num_threads', '4');
  await page.click('#settings-save');
  const refusal = await expectMessage(page, '#settings-message', 'error', 'Download cache directory');
  assert.equal(await page.inputValue('#setting-downloader-cachedir'), before['downloader.cachedir'],
    `after "${refusal}" the field shows what the server kept`);
  assert.equal(await page.getAttribute('#setting-downloader-cachedir', 'aria-invalid'), 'true');
  assert.equal(await page.inputValue('#setting-downloader-num_threads'), '4');
  assert.equal(await page.getAttribute('#setting-downloader-num_threads', 'aria-invalid'), null);

  await page.click('#settings-reset');
  await page.waitForSelector('#confirm-dialog[open]');
  await page.click('#confirm-cancel');
  await page.waitForSelector('#confirm-dialog:not([open])', { state: 'attached' });
  assert.equal(await page.inputValue('#setting-httpServer-port'), '127.0.0.1:6970', 'Cancel resets nothing');
  // The focus goes back to the button that opened the question.
  assert.equal(await page.evaluate(() => document.activeElement?.id), 'settings-reset');

  await page.click('#settings-reset');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#settings-message', 'ok', 'Reset config to default...');
  const reset = await readSettings(page);
  assert.equal(reset['httpServer.port'], '6969');
  assert.equal(reset['downloader.num_threads'], '1');
  assert.equal(reset['downloader.cachedir'], 'dlcache');
  assert.deepEqual(reset['access.whitelist'], ['127.0.0.1']);
  assert.equal(await page.getAttribute('#setting-downloader-cachedir', 'aria-invalid'), null);
  return { refusal };
}
