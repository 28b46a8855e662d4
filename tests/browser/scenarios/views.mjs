// The page as a whole: its five views by mouse, keyboard and address, on a phone-width screen and in
// the dark theme; the footer; and shutting the server down.

import assert from 'node:assert/strict';
import { screenshot } from '../browser.mjs';
import { assertFitsNarrowScreen, assertViewShown, openView, PHONE, VIEWS, waitForSettings } from './helpers.mjs';

/** What each view shows once it has loaded from the server. */
async function waitForContent(page, view) {
  if (view === 'settings') return waitForSettings(page);
  if (view === 'logs') return page.waitForSelector('#log-list > li.log-line');
  if (view === 'subscriptions') return page.waitForSelector('#subscription-list > li, #subscriptions-empty:not([hidden])');
  return page.waitForSelector(`#${view === 'downloads' ? 'session' : 'history'}-list > li, `
    + `#${view === 'downloads' ? 'session' : 'history'}-empty:not([hidden])`);
}

/** WCAG contrast ratio of two computed "rgb(...)" colours. */
function contrast(first, second) {
  const luminance = (colour) => {
    const [r, g, b] = colour.match(/[\d.]+/g).slice(0, 3).map((part) => {
      const c = Number(part) / 255;
      return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
  };
  const [light, dark] = [luminance(first), luminance(second)].sort((a, b) => b - a);
  return (light + 0.05) / (dark + 0.05);
}

/** Text against its background in the places a person reads most. */
async function assertReadable(page, theme) {
  const pairs = await page.evaluate(() => {
    const colours = (selector) => {
      const node = document.querySelector(selector);
      const style = getComputedStyle(node);
      let back = node;
      while (back && getComputedStyle(back).backgroundColor === 'rgba(0, 0, 0, 0)') back = back.parentElement;
      return { selector, text: style.color, background: getComputedStyle(back ?? document.body).backgroundColor };
    };
    return ['body', '.brand', '#tab-history', '#tab-downloads', '#queue-url', '#queue-submit', '.mode-choice legend',
      '#disk-usage', '#shutdown']
      .map(colours);
  });
  for (const { selector, text, background } of pairs) {
    const ratio = contrast(text, background);
    assert.ok(ratio >= 4.5, `${theme} theme: ${selector} has contrast ${ratio.toFixed(2)} (${text} on ${background})`);
  }
  return pairs.find((pair) => pair.selector === 'body').background;
}

export async function viewsAndFooter({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/`);
  await assertViewShown(page, 'downloads');
  for (const view of VIEWS) {
    await openView(page, view);
    await waitForContent(page, view);
    assert.equal(await page.title(), `${view[0].toUpperCase()}${view.slice(1)} · Pelko`);
    await screenshot(page, outDir, `view-${view}`);
  }

  // An address with a view opens it directly; one without a known view falls back to Downloads.
  // (Only the fragment differs, so each address is loaded anew, as when it is typed or bookmarked.)
  await page.goto(`${baseUrl}/#logs`);
  await page.reload();
  await assertViewShown(page, 'logs');
  await page.goto(`${baseUrl}/#nonsense`);
  await page.reload();
  await assertViewShown(page, 'downloads');

  // Keyboard: the first stop is the skip link, then the tabs; Enter on a tab opens its view.
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.className), 'skip-link');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'tab-downloads');
  for (const stop of ['tab-subscriptions', 'tab-history', 'tab-logs']) {
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), stop);
  }
  await page.keyboard.press('Enter');
  await assertViewShown(page, 'logs');

  const usage = await page.waitForSelector('#disk-usage [data-role="total"]');
  const total = await usage.textContent();
  assert.match(total, /^\d+(\.\d+)? (B|KiB|MiB|GiB)$/, `disk usage "${total}" in human units`);
  const info = await page.textContent('#server-info');
  assert.match(info, /^Pelko \d+(\.\d+)? on \S/, `server information "${info}"`);

  await openView(page, 'downloads');
  const lightBackground = await assertReadable(page, 'light');
  await page.emulateMedia({ colorScheme: 'dark' });
  const darkBackground = await assertReadable(page, 'dark');
  assert.notEqual(darkBackground, lightBackground, 'the dark theme has a background of its own');
  await screenshot(page, outDir, 'dark-downloads');
  await page.emulateMedia({ colorScheme: 'light' });

  await page.setViewportSize(PHONE);
  for (const view of VIEWS) {
    await openView(page, view);
    await waitForContent(page, view);
    await assertFitsNarrowScreen(page, `the ${view} view`);
  }
  await openView(page, 'downloads');
  await screenshot(page, outDir, 'phone-downloads');
  return { disk_usage: total, server_info: info };
}

/** "Shut down server" asks first; after OK the page says the server is gone and stops asking it. */
export async function shutDown({ page, baseUrl }) {
  await page.goto(`${baseUrl}/`);
  await page.waitForFunction(() => document.getElementById('server-info').textContent !== 'Pelko');
  await page.click('#shutdown');
  await page.click('#confirm-dialog[open] #confirm-cancel');
  assert.equal(await page.getAttribute('body', 'data-shut-down'), null, 'Cancel keeps the page as it was');
  const stillThere = await page.request.post(`${baseUrl}/api`, { data: { request: 'get_server_version' } });
  assert.equal(stillThere.status(), 200, 'Cancel keeps the server running');

  await page.click('#shutdown');
  await page.click('#confirm-dialog[open] #confirm-ok');
  await page.waitForSelector('body[data-shut-down="true"]');
  const banner = await page.textContent('#connection-banner');
  assert.ok(await page.isVisible('#connection-banner'));
  assert.match(banner, /Pelko has been shut down/);
  return { banner };
}
