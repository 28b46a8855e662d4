// Links in from elsewhere, with a password set: an address shared by another app (the web app's share
// target), the bookmarklet on another site's page, both through the server's login page; and the app
// tokens of Settings, made, copied once and revoked.

import assert from 'node:assert/strict';
import path from 'node:path';
import { screenshot } from '../browser.mjs';
import { expectMessage, openView, picture } from './helpers.mjs';

// The test sets it before the scenario starts.
export const SHARING_PASSWORD = 'pelko sharing password';

async function logInOnServerPage(page) {
  await page.waitForSelector('form[action="/login"] #login-password');
  await page.fill('#login-password', SHARING_PASSWORD);
  await Promise.all([page.waitForEvent('load'), page.click('#login-submit')]);
  await page.waitForSelector('body[data-current-view="downloads"]');
}

/** The form as the page shows it after something was shared: address, focus, message, address bar. */
async function sharedState(page) {
  await page.waitForFunction(() => document.getElementById('queue-message').textContent !== '');
  return page.evaluate(() => ({
    address: document.getElementById('queue-url').value,
    focused: document.activeElement?.id ?? '',
    kind: document.getElementById('queue-message').dataset.kind,
    search: location.search,
  }));
}

export async function sharingAndTokens({ page, context, baseUrl, outDir, otherSite }) {
  assert.ok(otherSite, 'this scenario needs the other site');
  const manifest = await (await page.request.get(`${baseUrl}/manifest.webmanifest`)).json();
  assert.deepEqual(manifest.share_target, { action: '/', method: 'GET', params: { title: 'title', text: 'text', url: 'url' } });

  // A phone shares a text with an address in it; the server asks for the password first.
  const text = 'Listen to this: https://videos.example/watch?v=shared1.';
  await page.goto(`${baseUrl}/?title=Birds&text=${encodeURIComponent(text)}`);
  await logInOnServerPage(page);
  assert.deepEqual(await sharedState(page),
    { address: 'https://videos.example/watch?v=shared1', focused: 'queue-submit', kind: 'notice', search: '' });
  await picture(page, outDir, 'shared-address');

  // The shared url wins over the text; a share without an address says so.
  await page.goto(`${baseUrl}/?url=${encodeURIComponent('https://videos.example/watch?v=shared2')}&text=${encodeURIComponent('see https://elsewhere.example/')}`);
  assert.equal((await sharedState(page)).address, 'https://videos.example/watch?v=shared2');
  await page.goto(`${baseUrl}/?text=${encodeURIComponent('javascript:alert(1) is no address')}`);
  const none = await sharedState(page);
  assert.deepEqual([none.address, none.kind, none.search], ['', 'error', '']);
  await expectMessage(page, '#queue-message', 'error', 'no http or https address');

  // Apps and scripts: a token for a podcast app, one for a phone shortcut, and a revocation.
  await openView(page, 'settings');
  await page.waitForFunction(() => document.getElementById('apps-state').textContent.startsWith('No app tokens yet.'));
  await page.fill('#token-name', 'podcast app');
  await page.selectOption('#token-scope', 'feeds');
  await page.press('#token-name', 'Enter');
  await expectMessage(page, '#apps-message', 'ok', 'Created the app token "podcast app".');
  const feedsToken = await page.inputValue('#token-new-value');
  assert.match(feedsToken, /^pelko_[A-Za-z0-9_-]{43}$/);
  assert.equal(await page.textContent('#feed-address'), `${baseUrl}/feeds/all.xml?token=${feedsToken}`);
  assert.equal(await page.evaluate(() => document.getElementById('settings-message').textContent), '',
    'Enter in the name saved the settings');

  await page.fill('#token-name', 'phone');
  await page.selectOption('#token-scope', 'full');
  await page.click('#token-create');
  await expectMessage(page, '#apps-message', 'ok', 'Created the app token "phone".');
  const fullToken = await page.inputValue('#token-new-value');
  assert.ok((await page.textContent('#shortcut-recipe')).includes(`Authorization: Bearer ${fullToken}`));
  await page.waitForFunction(() => document.querySelectorAll('#token-list li').length === 2);
  await page.click('#token-copy');
  await page.waitForFunction(() => /copied|Copy the selected/.test(document.getElementById('apps-message').textContent));
  await page.locator('#apps-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'apps-and-scripts');
  await page.locator('#apps-section').screenshot({ path: path.join(outDir, 'screenshots', 'apps-section.png') });

  await page.click('button[aria-label="Revoke podcast app"]');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await expectMessage(page, '#apps-message', 'ok', 'Revoked the app token "podcast app".');
  await page.waitForFunction(() => document.querySelectorAll('#token-list li').length === 1);
  assert.equal(await page.isVisible('#token-new'), false, 'the token stays hidden once revoked');

  // The bookmarklet, used on another site's video page, opens Pelko in a tab of its own.
  const code = decodeURIComponent((await page.getAttribute('#bookmarklet', 'href')).replace(/^javascript:/, ''));
  const other = await context.newPage();
  await other.goto(`${otherSite}/video.html`);
  const [opened] = await Promise.all([context.waitForEvent('page'), other.evaluate(code)]);
  await opened.waitForLoadState();
  // A tab that another site opened may come without the session cookie (SameSite=Strict).
  await opened.waitForSelector('body[data-current-view], form[action="/login"] #login-password');
  if (await opened.$('body[data-current-view]') === null) await logInOnServerPage(opened);
  assert.deepEqual(await sharedState(opened),
    { address: `${otherSite}/video.html`, focused: 'queue-submit', kind: 'notice', search: '' });
  await screenshot(opened, outDir, 'bookmarklet-opened');
  await opened.close();
  await other.close();
  return { feeds_token: feedsToken, full_token: fullToken };
}
