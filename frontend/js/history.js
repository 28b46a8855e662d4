// The History view: every download in the cache, also from earlier runs, and clearing the cache.

import { call, callAndReport } from './api.js';
import { confirmAction } from './confirm.js';
import { showMessage } from './dom.js';
import { bindEntryList, renderEntries } from './entries.js';
import { announce, listen, CACHE_CHANGED } from './events.js';
import { entryActions } from './downloads.js';

const list = document.getElementById('history-list');
const emptyNote = document.getElementById('history-empty');
const message = document.getElementById('history-message');
const refreshButton = document.getElementById('history-refresh');
const clearButton = document.getElementById('history-clear');

let visible = false;
let stale = true;

export function initHistory() {
  refreshButton.addEventListener('click', () => refresh());
  clearButton.addEventListener('click', clearCache);
  bindEntryList(list, entryActions(message, refreshButton));
  listen(CACHE_CHANGED, () => {
    stale = true;
    if (visible) refresh();
  });
}

/** Called by the view switcher; the list is fetched when the view opens and the cache changed meanwhile. */
export function setHistoryVisible(isVisible) {
  visible = isVisible;
  if (visible && stale) refresh();
}

async function refresh() {
  stale = false;
  try {
    const reply = await call('fetch_alltime_cache');
    renderEntries(list, reply.cache, emptyNote);
    if (message.dataset.kind === 'error') showMessage(message, '');
  } catch (error) {
    stale = true;
    showMessage(message, error.message, 'error');
  }
}

async function clearCache() {
  const confirmed = await confirmAction({
    heading: 'Clear the download cache?',
    body: 'Every downloaded file and its entry will be deleted from the server. This cannot be undone.',
    confirmLabel: 'Clear cache',
  });
  if (!confirmed) return;
  // With "OK_WAIT" running downloads delay the clearing; the session poll notices when the cache empties.
  if (await callAndReport(message, 'clear_download_cache', {}, 'Download cache has been cleared!')) {
    announce(CACHE_CHANGED, { source: 'clear' });
  }
}
