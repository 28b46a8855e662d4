// What every scenario does with the page: open a view, wait for a message, read a view's state.

import assert from 'node:assert/strict';
import { screenshot, withEverythingLaidOut } from '../browser.mjs';

export const VIEWS = ['downloads', 'subscriptions', 'history', 'logs', 'settings'];
// The narrowest phones in use.
export const PHONE = { width: 320, height: 640 };

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
 * Waits until the message paragraph `selector` shows a message of `kind` (ok, notice, error) that
 * contains `expected` and returns its text; fails, naming what it says, when none comes.
 */
export async function expectMessage(page, selector, kind, expected = '') {
  const shown = await page.waitForFunction(([target, wanted, part]) => {
    const node = document.querySelector(target);
    return node?.dataset.kind === wanted && node.textContent.includes(part) ? node.textContent : null;
  }, [selector, kind, expected]).catch(() => null);
  if (shown) return shown.jsonValue();
  const node = await page.$(selector);
  const [text, actualKind] = node ? await node.evaluate((n) => [n.textContent, n.dataset.kind]) : ['', ''];
  assert.fail(`${selector} says "${text}" (${actualKind}), expected a${kind === 'error' ? 'n' : ''} ${kind} containing "${expected}"`);
}

/** The settings form, once it was filled from the server. */
export async function waitForSettings(page) {
  await page.waitForFunction(() => document.getElementById('setting-httpServer-port')?.value !== '');
}

/** The values the settings form shows, keyed by "group.key"; lists (the whitelist, the host names) as arrays. */
export function readSettings(page) {
  return page.evaluate(() => {
    const values = {};
    for (const input of document.querySelectorAll('#settings-form input[data-setting], #settings-form select[data-setting]')) {
      values[input.dataset.setting] = input.type === 'checkbox' ? input.checked : input.value;
    }
    for (const list of document.querySelectorAll('#settings-form ul[data-kind="list"]')) {
      values[list.dataset.setting] = [...list.querySelectorAll('input[data-role="list-entry"]')].map((input) => input.value);
    }
    return values;
  });
}

/**
 * On a narrow screen nothing may need sideways scrolling and nothing shown may be cut off sideways
 * (content wider than a box that hides or scrolls what does not fit). `what` names the page state.
 */
export async function assertFitsNarrowScreen(page, what) {
  const { pageWidth, viewport, cut } = await withEverythingLaidOut(page, () => page.evaluate(() => {
    const found = [];
    for (const node of document.querySelectorAll('body *')) {
      if (node.matches('input, .visually-hidden, .visually-hidden *') || node.getClientRects().length === 0) continue;
      const style = getComputedStyle(node);
      if (style.overflowX === 'visible' || style.textOverflow === 'ellipsis') continue;
      if (node.scrollWidth > node.clientWidth + 1) {
        found.push(`${node.tagName.toLowerCase()}${node.id ? `#${node.id}` : ''}.${[...node.classList].join('.')}`
          + ` (${node.scrollWidth} px in ${node.clientWidth} px)`);
      }
    }
    // Nothing may stick out of the inner edges of the card it sits in, although nothing is cut off there.
    for (const card of document.querySelectorAll('.card')) {
      if (card.getClientRects().length === 0) continue;
      const outer = card.getBoundingClientRect();
      const style = getComputedStyle(card);
      const box = {
        left: outer.left + parseFloat(style.borderLeftWidth) + parseFloat(style.paddingLeft),
        right: outer.right - parseFloat(style.borderRightWidth) - parseFloat(style.paddingRight),
      };
      for (const node of card.querySelectorAll('*')) {
        if (node.matches('.visually-hidden, .visually-hidden *') || node.getClientRects().length === 0) continue;
        const rect = node.getBoundingClientRect();
        if (rect.width > 0 && (rect.right > box.right + 1 || rect.left < box.left - 1)) {
          found.push(`${node.tagName.toLowerCase()}${node.id ? `#${node.id}` : ''} sticks out of its card`
            + ` (${Math.round(rect.left)}–${Math.round(rect.right)} px in ${Math.round(box.left)}–${Math.round(box.right)} px)`);
        }
      }
    }
    return { pageWidth: document.documentElement.scrollWidth, viewport: window.innerWidth, cut: found };
  }));
  assert.ok(pageWidth <= viewport, `${what} is ${pageWidth} px wide on a ${viewport} px screen`);
  assert.deepEqual(cut, [], `${what} cuts off content on a ${viewport} px screen`);
}

/** Screenshots of the moment in light and dark, on the desktop and on a phone, where it must fit. */
export async function picture(page, outDir, name) {
  await screenshot(page, outDir, name);
  await page.emulateMedia({ colorScheme: 'dark' });
  await screenshot(page, outDir, `dark-${name}`);
  const desktop = page.viewportSize();
  await page.setViewportSize(PHONE);
  await assertFitsNarrowScreen(page, name);
  await screenshot(page, outDir, `dark-phone-${name}`);
  await page.emulateMedia({ colorScheme: 'light' });
  await screenshot(page, outDir, `phone-${name}`);
  await page.setViewportSize(desktop);
}
