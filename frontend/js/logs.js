// The Logs view: the server's messages of this run or of all time, a page at a time, with search,
// the problems-only filter and either order.

import { call, callAndReport } from './api.js';
import { el, showMessage, str, num } from './dom.js';
import { formatCount, formatTime, isoTime } from './format.js';
import { listen, LOG_ADDED, SHUT_DOWN, STREAM_STATE } from './events.js';
import { onQueryChange, PagedList } from './pagedlist.js';
import { isStreamOpen } from './stream.js';

const REFRESH_MS = 5000;
const LEVELS = { 1: { word: 'WARN', name: 'warning' }, 2: { word: 'ERROR', name: 'error' } };

const list = document.getElementById('log-list');
const emptyNote = document.getElementById('logs-empty');
const message = document.getElementById('logs-message');
const count = document.getElementById('logs-count');
const form = document.getElementById('logs-query');
const search = document.getElementById('log-search');
const sortChoice = document.getElementById('log-sort');
const problemsOnly = document.getElementById('log-problems-only');
const refreshButton = document.getElementById('logs-refresh');
const clearButton = document.getElementById('logs-clear');

let visible = false;
let timer = 0;
let stopped = false;
let shownSignature = '';

const paged = new PagedList({
  list,
  fetchPage: async (offset, limit) => {
    const reply = await call('fetch_logs', { ...query(), offset, limit });
    const logs = Array.isArray(reply.logs) ? reply.logs.filter((entry) => entry && typeof entry === 'object') : [];
    return { total: num(reply, 'total'), items: logs };
  },
  render,
  onChange: showState,
  onError: (error) => showMessage(message, error.message, 'error'),
});

export function initLogs() {
  refreshButton.addEventListener('click', () => refresh());
  clearButton.addEventListener('click', clearLogs);
  onQueryChange(form, () => refresh(true));
  listen(SHUT_DOWN, () => { stopped = true; clearTimeout(timer); });
  // While the stream is open new messages arrive by themselves; without it the view polls.
  listen(STREAM_STATE, () => { if (visible) refresh(); });
  // A new message of this run belongs to both scopes; it joins the page when the query lets it in.
  listen(LOG_ADDED, ({ log }) => { if (log && typeof log === 'object' && matches(log)) paged.addNewest(log, sortChoice.value === 'newest'); });
}

/** Called by the view switcher: this session's messages are read again every few seconds while shown. */
export function setLogsVisible(isVisible) {
  visible = isVisible;
  clearTimeout(timer);
  if (visible) refresh(!paged.loaded);
}

function query() {
  const parameters = { scope: document.getElementById('log-scope-alltime').checked ? 'alltime' : 'session',
    sort: sortChoice.value };
  if (search.value.trim() !== '') parameters.search = search.value.trim();
  if (problemsOnly.checked) parameters.types = [1, 2];
  return parameters;
}

/** Whether the server's query would find `log`: its search in the bare message, ASCII case ignored. */
function matches(log) {
  const wanted = search.value.trim().replace(/[A-Z]/g, (c) => c.toLowerCase());
  const text = str(log, 'message').replace(/[A-Z]/g, (c) => c.toLowerCase());
  return (!problemsOnly.checked || LEVELS[num(log, 'type')] !== undefined) && text.includes(wanted);
}

/** Reads the window shown again, or from the start for a new query. */
async function refresh(fromStart = false) {
  clearTimeout(timer);
  if (stopped) return;
  try {
    await (fromStart ? paged.reset() : paged.refresh());
    if (message.dataset.kind === 'error') showMessage(message, '');
  } catch {
    // onError has said why.
  }
  if (visible && !stopped && query().scope === 'session' && !isStreamOpen()) timer = setTimeout(refresh, REFRESH_MS);
}

function render(logs) {
  // Rebuilding an unchanged list every few seconds would drop the user's text selection.
  const signature = JSON.stringify(logs);
  if (signature === shownSignature) return;
  shownSignature = signature;
  list.replaceChildren(...logs.map(logLine));
}

function showState() {
  const narrowed = search.value.trim() !== '' || problemsOnly.checked;
  count.textContent = paged.total > 0 ? formatCount(paged.first + paged.items.length, paged.total, 'messages') : '';
  emptyNote.hidden = !paged.loaded || paged.total > 0;
  emptyNote.textContent = problemsOnly.checked && !search.value.trim() ? 'No warnings or errors.'
    : narrowed ? 'No message matches.' : 'No log messages.';
}

function logLine(entry) {
  const level = LEVELS[num(entry, 'type')];
  const timestamp = num(entry, 'timestamp');
  const source = [str(entry, 'identifier'), str(entry, 'additional_information')].filter(Boolean).join(' ');
  const parts = [
    el('time', { class: 'log-time', datetime: timestamp > 0 ? isoTime(timestamp) : null, text: formatTime(timestamp) }),
  ];
  if (level) parts.push(el('span', { class: 'badge log-level', text: level.word }));
  if (source) parts.push(el('span', { class: 'log-source', text: source }));
  parts.push(el('span', { class: 'log-text', text: str(entry, 'message') }));
  return el('li', { class: 'log-line', dataset: { type: String(num(entry, 'type')), level: level?.name ?? 'info' } }, parts);
}

async function clearLogs() {
  await callAndReport(message, 'clear_logs', {}, 'The logs have been cleared.');
  refresh(true);
}
