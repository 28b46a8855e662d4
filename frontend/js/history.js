// The History view: every download in the cache, also from earlier runs, a page at a time with
// search, filters and order; clearing the cache, and acting on several downloads at once.

import { call, callAndReport } from './api.js';
import { confirmAction } from './confirm.js';
import { num, showMessage, str } from './dom.js';
import { bindEntryList, renderEntries, selectedIds } from './entries.js';
import { announce, listen, CACHE_CHANGED } from './events.js';
import { entryActions } from './downloads.js';
import { formatCount } from './format.js';
import { onQueryChange, PagedList } from './pagedlist.js';

// The largest page the server gives: the ids of every failed download are gathered in these.
const ID_PAGE = 500;
// Reasons named in a bulk action's message; the others are counted.
const REASONS_SHOWN = 3;

const list = document.getElementById('history-list');
const emptyNote = document.getElementById('history-empty');
const message = document.getElementById('history-message');
const count = document.getElementById('history-count');
const form = document.getElementById('history-query');
const search = document.getElementById('history-search');
const statusChoice = document.getElementById('history-status');
const modeChoice = document.getElementById('history-mode');
const sortChoice = document.getElementById('history-sort');
const refreshButton = document.getElementById('history-refresh');
const clearButton = document.getElementById('history-clear');
const retryFailedButton = document.getElementById('history-retry-failed');
const removeFailedButton = document.getElementById('history-remove-failed');
const removeSelectedButton = document.getElementById('history-remove-selected');

let visible = false;
let stale = true;
let started = false;

const paged = new PagedList({
  list,
  fetchPage: async (offset, limit) => {
    const reply = await call('fetch_history', { ...query(), offset, limit });
    return { total: num(reply, 'total'), items: usable(reply.entries) };
  },
  render: (entries) => renderEntries(list, entries, null),
  keyOf: (entry) => entry.pelko_id,
  onChange: showState,
  onError: (error) => {
    stale = true;
    showMessage(message, error.message, 'error');
  },
});

export function initHistory() {
  refreshButton.addEventListener('click', () => refresh());
  clearButton.addEventListener('click', clearCache);
  retryFailedButton.addEventListener('click', () => actOnFailed('retry_downloads', retryFailedButton));
  removeFailedButton.addEventListener('click', () => actOnFailed('remove_download_entries', removeFailedButton));
  removeSelectedButton.addEventListener('click', removeSelected);
  list.addEventListener('change', (event) => { if (event.target.dataset.role === 'select') showSelection(); });
  bindEntryList(list, entryActions(message, refreshButton));
  onQueryChange(form, () => {
    stale = false;
    paged.reset().then(clearError, () => {});
  });
  listen(CACHE_CHANGED, () => {
    stale = true;
    if (visible) refresh();
  });
}

/** Called by the view switcher; the page is fetched when the view opens and the cache changed meanwhile. */
export function setHistoryVisible(isVisible) {
  visible = isVisible;
  if (visible && stale) refresh();
}

function query() {
  const parameters = { sort: sortChoice.value };
  if (search.value.trim() !== '') parameters.search = search.value.trim();
  if (statusChoice.value) parameters.status = statusChoice.value;
  if (modeChoice.value) parameters.mode = modeChoice.value;
  return parameters;
}

function filtered() {
  return Object.keys(query()).some((name) => name !== 'sort');
}

/** The entries a card can be made of, each once. */
function usable(entries) {
  const seen = new Set();
  return (Array.isArray(entries) ? entries : []).filter((entry) => {
    const id = str(entry, 'pelko_id');
    if (id === '' || seen.has(id)) return false;
    seen.add(id);
    return true;
  });
}

async function refresh() {
  stale = false;
  // The first opening starts at the top; later ones read again what is shown.
  const fetched = started ? paged.refresh() : paged.reset();
  started = true;
  await fetched.then(clearError, () => {});
}

function clearError() {
  if (message.dataset.kind === 'error') showMessage(message, '');
}

function showState() {
  count.textContent = paged.total > 0
    ? formatCount(paged.first + paged.items.length, paged.total, filtered() ? 'matches' : 'downloads') : '';
  emptyNote.hidden = !paged.loaded || paged.total > 0;
  emptyNote.textContent = filtered() ? 'No download matches.' : 'The download cache is empty.';
  showSelection();
}

function showSelection() {
  const selected = selectedIds(list).length;
  removeSelectedButton.hidden = selected === 0;
  removeSelectedButton.textContent = `Remove selected (${selected})`;
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

/** The ids of every failed download, whatever the view's search and filters. */
async function failedIds() {
  const ids = [];
  for (let offset = 0, total = 1; offset < total; offset += ID_PAGE) {
    const reply = await call('fetch_history', { status: 'failed', offset, limit: ID_PAGE });
    total = num(reply, 'total');
    const entries = usable(reply.entries);
    if (entries.length === 0) break;
    ids.push(...entries.map((entry) => entry.pelko_id));
  }
  return [...new Set(ids)];
}

async function actOnFailed(command, button) {
  await busyWhile(button, async () => {
    const ids = await failedIds();
    if (ids.length === 0) {
      showMessage(message, 'No download has failed.', 'notice');
      return;
    }
    if (command === 'remove_download_entries' && !await confirmRemoval(ids.length, 'failed ')) return;
    await runBulk(command, ids);
  });
}

async function removeSelected() {
  const ids = selectedIds(list);
  if (ids.length === 0 || !await confirmRemoval(ids.length, '')) return;
  await busyWhile(removeSelectedButton, () => runBulk('remove_download_entries', ids));
}

function confirmRemoval(howMany, kind) {
  const what = howMany === 1 ? `the ${kind}download` : `${howMany} ${kind}downloads`;
  return confirmAction({
    heading: `Remove ${what}?`,
    body: `The ${howMany === 1 ? 'file and its entry' : 'files and their entries'} will be deleted from the server. `
      + 'This cannot be undone.',
    confirmLabel: 'Remove',
  });
}

/** One request for all of `ids`; the message says how many were done and why the others were not. */
async function runBulk(command, ids) {
  const reply = await call(command, { ids });
  const notDone = Array.isArray(reply.not_done) ? reply.not_done : [];
  const reasons = notDone.slice(0, REASONS_SHOWN).map((item) => str(item, 'message')).filter(Boolean);
  const more = notDone.length - reasons.length;
  showMessage(message, [str(reply, 'message'), ...reasons, more > 0 ? `And ${more} more.` : ''].filter(Boolean).join(' '),
    notDone.length > 0 ? 'notice' : 'ok');
  announce(CACHE_CHANGED, { source: 'bulk' });
}

async function busyWhile(button, action) {
  if (button.getAttribute('aria-disabled') === 'true') return;
  button.setAttribute('aria-disabled', 'true');
  try {
    await action();
  } catch (error) {
    showMessage(message, error.message, 'error');
  } finally {
    button.removeAttribute('aria-disabled');
  }
}
