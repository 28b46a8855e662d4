// Runs one scenario of the page against a running Pelko server in headless Chromium:
//
//   node run-scenario.mjs SCENARIO BASE_URL OUTPUT_DIR [OTHER_SITE_URL]
//
// Screenshots and saved files go below OUTPUT_DIR; OTHER_SITE_URL is a page of another web site for
// the scenarios that need one. On success the last line printed is the scenario's
// findings as JSON (for the caller to check against the server) and the exit status is 0; a failed
// check prints its reason and a screenshot of the moment, and exits 1.

import fs from 'node:fs';
import { assertNoProblems, openBrowser, screenshot } from './browser.mjs';
import { audioDownload, clearCacheWhileDownloading, queueProblems } from './scenarios/downloads.mjs';
import { cancelRetryAndReasons, converting, restored } from './scenarios/lifecycle.mjs';
import { clearLogs } from './scenarios/logs.mjs';
import { bulkActions, historyAtScale, logsAtScale, play } from './scenarios/history.mjs';
import { crossSiteRefused, password } from './scenarios/access.mjs';
import { librarySettings, settingsRestartNoteAndReset, settingsSurviveReload } from './scenarios/settings.mjs';
import { subscriptionsFollow, subscriptionsManage } from './scenarios/subscriptions.mjs';
import { shutDown, viewsAndFooter } from './scenarios/views.mjs';
import { cookies, qualityAndPlaylist, updateFails, updateSucceeds } from './scenarios/media.mjs';
import { sharingAndTokens } from './scenarios/sharing.mjs';
import { notifications, notificationsWithoutApprise } from './scenarios/notifications.mjs';
import { lateListReply, pushedProgress } from './scenarios/stream.mjs';

const SCENARIOS = {
  'audio-download': audioDownload,
  'cancel-retry-and-reasons': cancelRetryAndReasons,
  converting,
  restored,
  'clear-cache-while-downloading': clearCacheWhileDownloading,
  'clear-logs': clearLogs,
  'queue-problems': queueProblems,
  'settings-survive-reload': settingsSurviveReload,
  'settings-restart-note-and-reset': settingsRestartNoteAndReset,
  'library-settings': librarySettings,
  'views-and-footer': viewsAndFooter,
  'shut-down': shutDown,
  'cross-site-refused': crossSiteRefused,
  password,
  'quality-and-playlist': qualityAndPlaylist,
  cookies,
  'update-fails': updateFails,
  'update-succeeds': updateSucceeds,
  'history-at-scale': historyAtScale,
  'logs-at-scale': logsAtScale,
  play,
  'bulk-actions': bulkActions,
  'subscriptions-follow': subscriptionsFollow,
  'subscriptions-manage': subscriptionsManage,
  'sharing-and-tokens': sharingAndTokens,
  notifications,
  'notifications-without-apprise': notificationsWithoutApprise,
  'pushed-progress': pushedProgress,
  'late-list-reply': lateListReply,
};

const [name, baseUrl, outDir, otherSite] = process.argv.slice(2);
if (!SCENARIOS[name] || !baseUrl || !outDir) {
  console.error(`usage: node run-scenario.mjs ${Object.keys(SCENARIOS).join('|')} BASE_URL OUTPUT_DIR`);
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });

const browser = await openBrowser(baseUrl, {
  otherOrigins: otherSite ? [new URL(otherSite).origin] : [],
  allowedApiStatuses: SCENARIOS[name].allowedApiStatuses,
});
browser.page.setDefaultTimeout(15000);
let status = 1;
try {
  const findings = await SCENARIOS[name]({ page: browser.page, context: browser.context, baseUrl, outDir, otherSite });
  assertNoProblems(browser.problems);
  console.log(JSON.stringify(findings ?? {}));
  status = 0;
} catch (error) {
  console.error(error.stack ?? String(error));
  if (browser.problems.length) console.error(`The page also had problems:\n${browser.problems.join('\n')}`);
  const shot = await screenshot(browser.page, outDir, `failed-${name}`).catch(() => null);
  if (shot) console.error(`Screenshot of the failure: ${shot}`);
} finally {
  await browser.close();
}
process.exit(status);
