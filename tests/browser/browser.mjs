// Headless Chromium for the page tests: one fresh profile per run, no request leaves the Pelko server
// (and the stand-in thumbnail host), and every script error or unexpected console error is kept as a problem.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--no-first-run'];
// The fake downloader's metadata names thumbnails on this host, where nothing listens: the test serves them.
const THUMBNAIL_HOST = 'http://127.0.0.1/fake-thumbnails/';
const THUMBNAIL = `<svg xmlns="http://www.w3.org/2000/svg" width="320" height="180" viewBox="0 0 320 180">
  <defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
    <stop offset="0" stop-color="#f6b26b"/><stop offset="1" stop-color="#3d6fb6"/></linearGradient></defs>
  <rect width="320" height="180" fill="url(#g)"/>
  <circle cx="230" cy="60" r="26" fill="#fff3c4"/>
  <path d="M0 150 Q80 90 160 140 T320 120 V180 H0Z" fill="#24476f"/></svg>`;

/**
 * Starts Chromium on a new profile and opens one page on `baseUrl`'s origin. Resolves with
 * { page, context, problems, close }; `problems` collects what the page did wrong, close() ends the
 * browser. Requests may also go to `otherOrigins` (a stand-in for another web site); commands may be
 * refused with `allowedApiStatuses` besides 400.
 */
export async function openBrowser(baseUrl, { viewport = { width: 1200, height: 860 }, otherOrigins = [],
  allowedApiStatuses = [] } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'pelko-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: CHROMIUM_ARGS,
    viewport,
    acceptDownloads: true,
    locale: 'en-GB',
    timezoneId: 'UTC',
  });
  const problems = [];
  const origin = new URL(baseUrl).origin;
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url.startsWith(THUMBNAIL_HOST)) return route.fulfill({ contentType: 'image/svg+xml', body: THUMBNAIL });
    if (new URL(url).origin === origin || otherOrigins.includes(new URL(url).origin)) return route.continue();
    problems.push(`request outside the server: ${url}`);
    return route.abort();
  });

  const page = context.pages()[0] ?? await context.newPage();
  page.on('pageerror', (error) => problems.push(`script error: ${error.stack ?? error}`));
  page.on('console', (message) => {
    if (message.type() !== 'error') return;
    // Chromium reports every refused command (status 400, and those a scenario names) as a failed
    // resource; those are expected, and so are the refusals of a server that wants its password (401,
    // 429 after wrong guesses).
    const refusedCommand = [400, ...allowedApiStatuses].some((status) => message.text().includes(`status of ${status}`))
      && message.location().url.endsWith('/api');
    const passwordWanted = /status of (401|429)/.test(message.text());
    if (!refusedCommand && !passwordWanted) problems.push(`console error: ${message.text()} (${message.location().url})`);
  });

  return {
    page,
    context,
    problems,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

/** Fails when the page did anything `openBrowser` watches for. */
export function assertNoProblems(problems) {
  assert.deepEqual(problems, [], `the page had problems:\n${problems.join('\n')}`);
}

/**
 * Saves a screenshot of the full page (or, for a page too long for one picture, of what the window
 * shows) as <outDir>/screenshots/<name>.png and returns its path.
 */
export async function screenshot(page, outDir, name, fullPage = true) {
  const file = path.join(outDir, 'screenshots', `${name}.png`);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  const take = () => page.screenshot({ path: file, fullPage, animations: 'disabled' });
  await (fullPage ? withEverythingLaidOut(page, take) : take());
  return file;
}

/**
 * Runs `action` while every card is laid out and painted: the page leaves those far out of sight
 * for later (content-visibility), which a picture of the whole page or a check of every box would
 * otherwise meet as empty cards.
 */
export async function withEverythingLaidOut(page, action) {
  // A sheet made in script: the page's content security policy admits no inline style.
  await page.evaluate(() => {
    window.everythingLaidOut = new CSSStyleSheet();
    window.everythingLaidOut.replaceSync('* { content-visibility: visible !important; }');
    document.adoptedStyleSheets = [...document.adoptedStyleSheets, window.everythingLaidOut];
  });
  try {
    return await action();
  } finally {
    await page.evaluate(() => {
      document.adoptedStyleSheets = document.adoptedStyleSheets.filter((sheet) => sheet !== window.everythingLaidOut);
    });
  }
}

