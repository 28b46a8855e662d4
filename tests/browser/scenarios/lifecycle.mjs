// A download's life on its card: what a running one shows, cancelling it, why a failed one failed,
// retrying it, a conversion, and a download that came back after a restart.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { expectMessage, picture } from './helpers.mjs';
import { fakeVideoUrl, queueDownload } from './downloads.mjs';

const WAIT_MS = 60000;

function card(page, id) {
  return page.locator(`#session-list > li[data-pelko-id="${id}"]`);
}

async function waitForStatus(page, id, status) {
  await page.waitForSelector(`#session-list > li[data-pelko-id="${id}"][data-status="${status}"]`, { timeout: WAIT_MS });
}

/**
 * A running download shows speed, time left and size and can be cancelled; the cancelled one and one
 * that failed by itself say why and name their address, and Retry runs the failed one again.
 */
export async function cancelRetryAndReasons({ page, baseUrl, outDir }) {
  const never = path.join(outDir, `never-${Date.now()}`);
  const mended = path.join(outDir, `mended-${Date.now()}`);
  await page.goto(`${baseUrl}/`);

  const running = await queueDownload(page, fakeVideoUrl({ fake_title: 'Long concert', fake_hold: never }), 'video');
  await waitForStatus(page, running, 'downloading');
  const runningCard = card(page, running);
  const detail = runningCard.locator('[data-role="detail"]');
  await detail.waitFor();
  const details = await detail.textContent();
  assert.match(details, /^1\.00 MiB\/s · 0:0\d left · 1\.00 MiB$/, `running details: ${details}`);
  assert.ok(await runningCard.locator('button[data-action="cancel"]').isVisible());
  assert.ok(await runningCard.locator('button[data-action="retry"]').isHidden());

  const brokenUrl = fakeVideoUrl({ fake_title: 'Broken stream', fake_fail: 'download', fake_fail_until: mended });
  const broken = await queueDownload(page, brokenUrl, 'audio');
  await runningCard.locator('button[data-action="cancel"]').click();
  await expectMessage(page, '#session-message', 'ok', 'Download cancelled.');
  await waitForStatus(page, running, 'failed');
  assert.equal(await runningCard.locator('[data-role="error"]').textContent(), 'Cancelled.');
  await waitForStatus(page, broken, 'failed');
  const brokenCard = card(page, broken);
  assert.equal(await brokenCard.locator('[data-role="error"]').textContent(), `fake download failure for ${brokenUrl}`);
  assert.equal(await brokenCard.locator('[data-role="address"]').textContent(), brokenUrl);
  assert.ok(await brokenCard.locator('button[data-action="cancel"]').isHidden());
  await picture(page, outDir, 'failed-downloads');

  fs.writeFileSync(mended, '');
  await brokenCard.locator('button[data-action="retry"]').click();
  await expectMessage(page, '#session-message', 'ok', 'Download queued again!');
  await waitForStatus(page, broken, 'finished');
  assert.ok(await brokenCard.locator('[data-role="problem"]').isHidden(), 'no reason once it finished');
  assert.ok(await brokenCard.locator('a[data-action="save"]').isVisible());
  return { cancelled: running, retried: broken };
}

/** While the converter runs the card says so instead of standing at 100 %. */
export async function converting({ page, baseUrl, outDir }) {
  const release = path.join(outDir, `release-${Date.now()}`);
  await page.goto(`${baseUrl}/`);
  const id = await queueDownload(page, fakeVideoUrl({
    fake_title: 'Radio play', fake_postprocess: '1', fake_hold: release,
  }), 'audio');
  await page.waitForSelector(`#session-list > li[data-pelko-id="${id}"][data-stage="converting"]`, { timeout: WAIT_MS });
  const converted = card(page, id);
  assert.equal(await converted.locator('[data-role="detail"]').textContent(), 'Converting to MP3…');
  assert.ok(await converted.locator('[data-role="percent"]').isHidden(), 'no "100 %" while converting');
  await picture(page, outDir, 'converting');
  fs.writeFileSync(release, '');
  await waitForStatus(page, id, 'finished');
  return { pelko_id: id };
}

/** Downloads that came back from the last run are marked so until they finish. */
export async function restored({ page, baseUrl, outDir }) {
  await page.goto(`${baseUrl}/`);
  const badge = page.locator('#session-list > li [data-role="restored"]:visible');
  await badge.first().waitFor({ timeout: WAIT_MS });
  assert.equal(await badge.first().textContent(), 'Restored');
  await picture(page, outDir, 'restored-downloads');
  const ids = await page.$$eval('#session-list > li', (cards) => cards.map((node) => node.dataset.pelkoId));
  return { ids };
}
