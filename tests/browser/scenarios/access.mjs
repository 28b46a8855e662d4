// Access: a page of another web site cannot drive the server, and the password, as a person meets it:
// set in Settings, the login view, the server's own login page, Log out, and removing it again.

import assert from 'node:assert/strict';
import { screenshot } from '../browser.mjs';
import { assertFitsNarrowScreen, expectMessage, openView, PHONE, readSettings, waitForSettings } from './helpers.mjs';

const PASSWORD = 'pelko test password';

/**
 * The other site (a second port on 127.0.0.1) tries to change the number of simultaneous downloads
 * and to read the settings; it gets nowhere, while the page itself keeps working.
 */
export async function crossSiteRefused({ page, context, baseUrl, otherSite }) {
  assert.ok(otherSite, 'this scenario needs the other site');
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  const before = (await readSettings(page))['downloader.num_threads'];

  // Its own tab, as when the user opens it; its failed requests are its own business.
  const other = await context.newPage();
  await other.goto(`${otherSite}/?target=${encodeURIComponent(baseUrl)}`);
  await other.waitForFunction(() => document.title === 'done');
  const results = await other.evaluate(() => window.results);
  await other.close();
  assert.equal(results.simple, 'sent', 'a no-cors request is sent but its reply stays opaque');
  assert.match(results.json, /^blocked/, 'no permission for a JSON request from elsewhere');
  assert.match(results.read, /^blocked/, 'the reply cannot be read from elsewhere');

  await page.reload();
  await waitForSettings(page);
  const afterAttack = (await readSettings(page))['downloader.num_threads'];
  assert.equal(afterAttack, before, 'the other site changed a setting');

  const mine = before === '2' ? '3' : '2';
  await page.fill('#setting-downloader-num_threads', mine);
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'ok', 'Updated settings');
  return { before, after_attack: afterAttack, num_threads: Number(mine), results };
}

async function setPasswordInSettings(page, first, second) {
  await page.fill('#password-new', first);
  await page.fill('#password-repeat', second);
  await page.click('#password-set');
}

/** The login view in the page, then the server's login page after Log out; the password goes again at the end. */
export async function password({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  assert.match(await page.textContent('#password-state'), /^No password is set/);
  assert.equal(await page.isVisible('#logout'), false, 'no Log out without a password');

  await setPasswordInSettings(page, PASSWORD, `${PASSWORD}!`);
  await expectMessage(page, '#password-message', 'error', 'The two passwords differ.');
  await setPasswordInSettings(page, PASSWORD, PASSWORD);

  // Setting it ended every session, so the page asks for it at once.
  await page.waitForSelector('#view-login:not([hidden])');
  assert.equal(await page.textContent('#login-reason'), 'The password has been set. Log in with it to go on.');
  assert.equal(await page.isVisible('#view-settings'), false);
  assert.equal(await page.isVisible('.tabs'), false);
  assert.equal(await page.title(), 'Log in · Pelko');
  await screenshot(page, outDir, 'login-view');

  await page.fill('#login-password', 'not it');
  await page.click('#login-submit');
  await expectMessage(page, '#login-message', 'error', 'Wrong password.');
  await page.setViewportSize(PHONE);
  await assertFitsNarrowScreen(page, 'the login view');
  await screenshot(page, outDir, 'phone-login-view');
  await page.emulateMedia({ colorScheme: 'dark' });
  await screenshot(page, outDir, 'dark-phone-login-view');
  await page.emulateMedia({ colorScheme: 'light' });
  await page.setViewportSize({ width: 1200, height: 860 });

  await page.fill('#login-password', PASSWORD);
  await Promise.all([page.waitForEvent('load'), page.click('#login-submit')]);
  await page.waitForSelector('body[data-current-view="settings"]');
  await waitForSettings(page);
  await page.waitForFunction(() => document.getElementById('password-state').dataset.passwordSet === 'true');
  assert.ok(await page.isVisible('#password-remove'));
  await page.waitForSelector('#logout', { state: 'visible' });
  await screenshot(page, outDir, 'settings-password-set');
  await page.setViewportSize(PHONE);
  await assertFitsNarrowScreen(page, 'the settings view with a password');
  await screenshot(page, outDir, 'phone-settings');
  await page.emulateMedia({ colorScheme: 'dark' });
  await screenshot(page, outDir, 'dark-phone-settings');
  await page.emulateMedia({ colorScheme: 'light' });
  await page.setViewportSize({ width: 1200, height: 860 });

  // Log out: the next page load meets the server's own login page.
  await Promise.all([page.waitForEvent('load'), page.click('#logout')]);
  await page.waitForSelector('form[action="/login"] #login-password');
  assert.equal(await page.title(), 'Log in · Pelko');
  assert.equal(await page.$('#view-downloads'), null, 'the page itself is not served without the password');
  await page.fill('#login-password', 'still not it');
  await Promise.all([page.waitForEvent('load'), page.click('#login-submit')]);
  assert.equal(await page.textContent('#login-problem'), 'Wrong password.');
  await screenshot(page, outDir, 'server-login');
  await page.emulateMedia({ colorScheme: 'dark' });
  await screenshot(page, outDir, 'dark-server-login');
  await page.emulateMedia({ colorScheme: 'light' });
  await page.setViewportSize(PHONE);
  await assertFitsNarrowScreen(page, 'the server’s login page');
  await screenshot(page, outDir, 'phone-server-login');
  await page.setViewportSize({ width: 1200, height: 860 });

  await page.fill('#login-password', PASSWORD);
  await Promise.all([page.waitForEvent('load'), page.click('#login-submit')]);
  await page.waitForSelector('body[data-current-view="downloads"]');

  await openView(page, 'settings');
  await waitForSettings(page);
  await page.click('#password-remove');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#password-message', 'ok', 'The password has been removed.');
  assert.match(await page.textContent('#password-state'), /^No password is set/);
  await page.waitForSelector('#logout', { state: 'hidden' });
  return {};
}
