// The footer: disk usage, server version and system, logging out, and shutting the server down.

import { call } from './api.js';
import { confirmAction } from './confirm.js';
import { el, num, showMessage, str } from './dom.js';
import { formatBytes } from './format.js';
import { announce, listen, CACHE_CHANGED, PASSWORD_CHANGED, SHUT_DOWN } from './events.js';

// Measuring runs `du` and holds up the single-threaded server, so bursts of changes are measured once.
const DISK_USAGE_DELAY_MS = 2000;

const diskUsage = document.getElementById('disk-usage');
const serverInfo = document.getElementById('server-info');
const shutdownButton = document.getElementById('shutdown');
const logoutForm = document.getElementById('logout-form');
const footerMessage = document.getElementById('footer-message');

let diskTimer = 0;

export function initFooter() {
  shutdownButton.addEventListener('click', shutDown);
  listen(CACHE_CHANGED, () => {
    clearTimeout(diskTimer);
    diskTimer = setTimeout(refreshDiskUsage, DISK_USAGE_DELAY_MS);
  });
  listen(SHUT_DOWN, () => clearTimeout(diskTimer));
  // Logging out only means something while a password is set.
  listen(PASSWORD_CHANGED, ({ isSet }) => { logoutForm.hidden = !isSet; });
  call('fetch_settings_info').then((info) => { logoutForm.hidden = info.password_set !== true; }, () => {});
  showServerInfo();
  refreshDiskUsage();
}

async function showServerInfo() {
  try {
    const [version, os] = await Promise.all([call('get_server_version'), call('get_os_name')]);
    const number = num(version, 'server_version', NaN);
    const osName = str(os, 'os_name');
    serverInfo.textContent = `Pelko ${Number.isNaN(number) ? '' : number}${osName ? ` on ${osName}` : ''}`.trim();
  } catch {
    serverInfo.textContent = 'Pelko';
  }
}

async function refreshDiskUsage() {
  try {
    const usage = (await call('get_disk_usage')).disk_usage;
    const parts = [
      ['downloads', num(usage, 'dlcache', -1)],
      ['logs', num(usage, 'logs', -1)],
      ['settings', num(usage, 'misc', -1)],
    ];
    const dependencies = num(usage, 'dependencies', 0);
    if (dependencies !== 0) parts.push(['tools', dependencies]);
    diskUsage.replaceChildren(
      'Disk usage ',
      el('strong', { dataset: { role: 'total' }, text: formatBytes(num(usage, 'total', -1)) }),
      el('span', { class: 'detail', text: ` (${parts.map(([name, bytes]) => `${name} ${formatBytes(bytes)}`).join(', ')})` }),
    );
  } catch (error) {
    diskUsage.textContent = `Disk usage unknown: ${error.message}`;
  }
}

async function shutDown() {
  const confirmed = await confirmAction({
    heading: 'Shut down the server?',
    body: 'Pelko stops for everyone using it, and running downloads are finished first. '
      + 'It has to be started again on the server machine.',
    confirmLabel: 'Shut down',
  });
  if (!confirmed) return;
  let farewell = 'The server is shutting down.';
  try {
    farewell = str(await call('kill_yourself'), 'message', farewell);
  } catch (error) {
    // The server may stop before its reply leaves; a lost connection here means it went away as asked.
    if (error.httpStatus !== 0) {
      showMessage(footerMessage, error.message, 'error');
      return;
    }
  }
  showMessage(footerMessage, farewell, 'notice');
  announce(SHUT_DOWN, { message: farewell });
}
