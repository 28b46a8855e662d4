// Settings, Notifications: a webhook and an Apprise address are added and saved, their secrets are
// never shown back, and Test shows what each target answered.

import assert from 'node:assert/strict';
import { expectMessage, picture, waitForSettings } from './helpers.mjs';

export const HOOK_SECRET = 'pelko webhook secret';

/** `receiver`: the address of a local webhook receiver; Apprise posts to it too (json://). */
export async function notifications({ page, baseUrl, outDir, otherSite: receiver }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  assert.equal(await page.isVisible('#apprise-missing'), false, 'apprise is installed here');
  assert.match(await page.textContent('#notification-targets'), /No targets are saved yet/);

  await page.click('#webhook-add');
  const hook = '#webhook-list li:last-child';
  await page.keyboard.type(`${receiver}/hook`);
  await page.fill(`${hook} input[data-field="secret"]`, HOOK_SECRET);
  await page.setChecked(`${hook} input[value="queued"]`, true);
  await page.click('button[data-add-to="apprise-list"]');
  const apprise = `json://${new URL(receiver).host}/apprise`;
  await page.keyboard.type(apprise);
  await page.setChecked('#apprise-event-queued', true);
  await expectMessage(page, '#settings-message', 'notice', 'You have unsaved changes.');
  await page.click('#notification-test');
  await expectMessage(page, '#notification-message', 'notice', 'Save the settings first');

  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'ok', 'Updated settings');
  await page.reload();
  await waitForSettings(page);
  assert.equal(await page.inputValue(`${hook} input[data-field="url"]`), `${receiver}/hook`);
  assert.equal(await page.inputValue(`${hook} input[data-field="secret"]`), '********');
  assert.equal(await page.getAttribute(`${hook} input[data-field="secret"]`, 'type'), 'password');
  assert.deepEqual(await page.$$eval(`${hook} input[type="checkbox"]:checked`, (boxes) => boxes.map((b) => b.value)),
    ['queued', 'finished', 'failed', 'subscription_error']);
  assert.equal(await page.inputValue('#apprise-list input'), '********');
  assert.equal(await page.isChecked('#apprise-event-queued'), true);
  const targets = await page.$$eval('#notification-targets .target-name', (names) => names.map((n) => n.textContent));
  assert.deepEqual(targets, [`${receiver}/hook`, 'json://********']);

  await page.click('#notification-test');
  await expectMessage(page, '#notification-message', 'ok', 'The test notification reached 2 of 2 targets.');
  const outcomes = await page.$$eval('#notification-targets li', (rows) => rows.map((row) => [
    row.querySelector('.target-outcome').textContent, row.dataset.delivered]));
  assert.equal(outcomes.length, 2);
  assert.match(outcomes[0][0], /^Test delivered: .*200/);
  assert.deepEqual(outcomes.map(([, delivered]) => delivered), ['ok', 'ok']);
  await page.locator('#notifications-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'notifications-tested');

  // Saving again with the masks in place keeps both secrets.
  await page.fill(`${hook} input[data-field="url"]`, `${receiver}/hook`);
  await page.click('#settings-save');
  await expectMessage(page, '#settings-message', 'ok', 'Updated settings');
  const shown = await page.content();
  assert.ok(!shown.includes(HOOK_SECRET) && !shown.includes(apprise), 'no secret is in the page');
  return { outcomes };
}

/** Without the apprise program the section says so. */
export async function notificationsWithoutApprise({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/#settings`);
  await waitForSettings(page);
  await page.waitForSelector('#apprise-missing', { state: 'visible' });
  await page.locator('#notifications-section').scrollIntoViewIfNeeded();
  await picture(page, outDir, 'notifications-apprise-missing');
  return { note: await page.innerText('#apprise-missing') };
}
