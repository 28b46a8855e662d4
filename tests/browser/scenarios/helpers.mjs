// What every scenario does with the page: open a view, wait for a message, read a view's state.

import assert from 'node:assert/strict';

export const VIEWS = ['downloads', 'history', 'logs', 'settings'];

/** Switches views with the tab link, as a person would, and checks that only that view shows. */
export async function openView(page, view) {
  await page.click(`#tab-${view}`);
  await assertViewShown(page, view);
}

export async function assertViewShown(page, view) {
  await page.waitForSelector(`body[data-current-view="${view}"]`);
  assert.equal(await page.getAttribute(`#tab-${view}`, 'aria-current'), 'page');
  for (const other of VIEWS) {
    assert.equal(await page.isVisible(`#view-${other}`), other === view, `#view-${other} visible while ${view} is open`);
    if (other !== view) assert.equal(await page.getAttribute(`#tab-${other}`, 'aria-current'), null);
  }
}

/**
 * Waits until the message paragraph `selector` shows a message of `kind` (ok, notice, error) and
 * returns its text; fails when it does not contain `expected`.
 */
export async function expectMessage(page, selector, kind, expected = '') {
  const node = await page.waitForSelector(`${selector}[data-kind="${kind}"]`);
  const text = await node.textContent();
  assert.ok(text.includes(expected), `${selector} says "${text}", expected it to contain "${expected}"`);
  return text;
}

/** The settings form, once it was filled from the server. */
export async function waitForSettings(page) {
  await page.waitForFunction(() => document.getElementById('setting-httpServer-port')?.value !== '');
}

/** The values the settings form shows, keyed by "group.key"; the whitelist as an array. */
export function readSettings(page) {
  return page.evaluate(() => {
    const values = {};
    for (const input of document.querySelectorAll('#settings-form input[data-setting]')) {
      values[input.dataset.setting] = input.type === 'checkbox' ? input.checked : input.value;
    }
    values['access.whitelist'] = [...document.querySelectorAll('#whitelist-list input[data-role="whitelist-entry"]')]
      .map((input) => input.value);
    return values;
  });
}
