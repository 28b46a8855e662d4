// The Logs view: newest first, warnings marked and filterable, and "Clear logs".

import assert from 'node:assert/strict';
import { screenshot } from '../browser.mjs';
import { expectMessage, openView } from './helpers.mjs';

const LINES = '#log-list > li.log-line';

function lineTexts(page, selector = LINES) {
  return page.$$eval(`${selector} .log-text`, (nodes) => nodes.map((node) => node.textContent));
}

/** The server filters: the list shows `expected` once its answer has come. */
async function expectLines(page, expected, why) {
  const shown = await page.waitForFunction((wanted) => JSON.stringify([...document.querySelectorAll('#log-list > li.log-line .log-text')]
    .map((node) => node.textContent)) === JSON.stringify(wanted), expected).catch(() => null);
  if (!shown) assert.deepEqual(await lineTexts(page), expected, why);
}

/** A warning the server logs when a client names a cache directory outside its working directory. */
async function provokeWarning(page, baseUrl) {
  const reply = await page.request.post(`${baseUrl}/api`, {
    data: { request: 'update_config', config: { downloader: { cachedir: '/outside' } } },
  });
  assert.equal(reply.status(), 200);
}

export async function clearLogs({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/`);
  await provokeWarning(page, baseUrl);
  await openView(page, 'logs');
  await page.waitForSelector(`${LINES}[data-level="warning"]`);

  const texts = await lineTexts(page);
  const warning = texts.findIndex((text) => text.startsWith('Refused to set downloader.cachedir'));
  const started = texts.indexOf('Started Pelko server successfully!');
  assert.ok(warning >= 0 && started >= 0, `expected the start and the warning among: ${texts.join(' | ')}`);
  assert.ok(warning < started, 'the newest message comes first');
  assert.equal(await page.textContent(`${LINES}[data-level="warning"] .log-level`), 'WARN');
  await screenshot(page, outDir, 'logs-with-warning');

  const problems = await lineTexts(page, `${LINES}:not([data-level="info"])`);
  await page.check('#log-problems-only');
  await expectLines(page, problems, 'only warnings and errors are left');
  assert.ok(problems.includes(texts[warning]));
  await page.uncheck('#log-problems-only');
  await expectLines(page, texts);

  await page.click('#logs-clear');
  await expectMessage(page, '#logs-message', 'ok', 'The logs have been cleared.');
  await page.waitForFunction(() => !document.querySelector('#log-list [data-level="warning"]'));
  const cleared = await lineTexts(page);
  assert.equal(cleared[cleared.length - 1], 'Cleared logs...', `after clearing: ${cleared.join(' | ')}`);
  assert.ok(!cleared.includes('Started Pelko server successfully!'));
  return { shown_after_clearing: cleared };
}
