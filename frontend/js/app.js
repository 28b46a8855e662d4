// Starts the page: wires the views, the view switcher, the login view and the connection banner.

import { initDownloads } from './downloads.js';
import { initSubscriptions, setSubscriptionsVisible } from './subscriptions.js';
import { initHistory, setHistoryVisible } from './history.js';
import { initLogs, setLogsVisible } from './logs.js';
import { initSettings, setSettingsVisible } from './settings.js';
import { initCookies, setCookiesVisible } from './cookies.js';
import { initDownloader, setDownloaderVisible } from './downloader.js';
import { initApps, setAppsVisible } from './apps.js';
import { initFooter } from './footer.js';
import { initLogin, showLogin } from './login.js';
import { initStream } from './stream.js';
import { listen, AUTH_REQUIRED, CONNECTION, SHUT_DOWN } from './events.js';

const VIEWS = {
  downloads: { title: 'Downloads', onShow: () => {} },
  subscriptions: { title: 'Subscriptions', onShow: setSubscriptionsVisible },
  history: { title: 'History', onShow: setHistoryVisible },
  logs: { title: 'Logs', onShow: setLogsVisible },
  settings: {
    title: 'Settings',
    onShow: (isVisible) => {
      setSettingsVisible(isVisible);
      setCookiesVisible(isVisible);
      setDownloaderVisible(isVisible);
      setAppsVisible(isVisible);
    },
  },
};

const banner = document.getElementById('connection-banner');
let current = null;
let shutDown = false;

function showView(name) {
  if (document.body.dataset.loginRequired === 'true') return;
  const view = VIEWS[name] ? name : 'downloads';
  if (view === current) return;
  if (current) VIEWS[current].onShow(false);
  current = view;
  for (const section of document.querySelectorAll('[data-view]')) section.hidden = section.dataset.view !== view;
  for (const link of document.querySelectorAll('[data-view-link]')) {
    if (link.dataset.viewLink === view) link.setAttribute('aria-current', 'page');
    else link.removeAttribute('aria-current');
  }
  document.title = `${VIEWS[view].title} · Pelko`;
  document.body.dataset.currentView = view;
  VIEWS[view].onShow(true);
}

function showBanner(text, kind) {
  banner.textContent = text;
  banner.className = `banner banner-${kind}`;
  banner.hidden = text === '';
}

listen(CONNECTION, ({ reachable }) => {
  if (shutDown) return;
  showBanner(reachable ? '' : 'Cannot reach the Pelko server. Trying again…', 'error');
});
// Until the login, which loads the page anew, no other view is shown.
listen(AUTH_REQUIRED, ({ reason }) => {
  if (shutDown) return;
  document.body.dataset.loginRequired = 'true';
  for (const section of document.querySelectorAll('[data-view]')) section.hidden = true;
  document.title = 'Log in · Pelko';
  showLogin(reason);
});
listen(SHUT_DOWN, ({ message }) => {
  shutDown = true;
  document.body.dataset.shutDown = 'true';
  showBanner(`${message} Pelko has been shut down; start it again and reload this page.`, 'notice');
});

initDownloads();
initSubscriptions();
initHistory();
initLogs();
initSettings();
initCookies();
initDownloader();
initApps();
initFooter();
initLogin();
initStream();
window.addEventListener('hashchange', () => showView(location.hash.slice(1)));
showView(location.hash.slice(1));
