// The Logs view: the server's messages of this run or of all time, newest first.

import { call, callAndReport } from './api.js';
import { el, showMessage, str, num } from './dom.js';
import { formatTime, isoTime } from './format.js';
import { listen, LOG_ADDED, SHUT_DOWN, STREAM_STATE } from './events.js';
import { isStreamOpen } from './stream.js';

const REFRESH_MS = 5000;
// The all-time log can grow without bound; the page shows its newest part. The server's
// count limit would pick the oldest saved messages instead, so the whole log is fetched,
// and only when asked for: sorting it holds the server for a moment.
const ALLTIME_SHOWN = 1000;
const LEVELS = { 1: { word: 'WARN', name: 'warning' }, 2: { word: 'ERROR', name: 'error' } };

const list = document.getElementById('log-list');
const emptyNote = document.getElementById('logs-empty');
const message = document.getElementById('logs-message');
const problemsOnly = document.getElementById('log-problems-only');
const refreshButton = document.getElementById('logs-refresh');
const clearButton = document.getElementById('logs-clear');

let visible = false;
let timer = 0;
let stopped = false;
let lastLogs = [];
let shownSignature = '';

export function initLogs() {
  refreshButton.addEventListener('click', () => refresh());
  clearButton.addEventListener('click', clearLogs);
  for (const radio of document.querySelectorAll('input[name="log-scope"]')) {
    radio.addEventListener('change', () => refresh());
  }
  problemsOnly.addEventListener('change', () => render(lastLogs));
  listen(SHUT_DOWN, () => { stopped = true; clearTimeout(timer); });
  // While the stream is open new messages arrive by themselves; without it the view polls.
  listen(STREAM_STATE, () => { if (visible) refresh(); });
  listen(LOG_ADDED, ({ log }) => {
    lastLogs = [log, ...lastLogs].slice(0, scope() === 'alltime' ? ALLTIME_SHOWN : undefined);
    if (visible) render(lastLogs);
  });
}

/** Called by the view switcher: the view refreshes itself every few seconds while it is shown. */
export function setLogsVisible(isVisible) {
  visible = isVisible;
  clearTimeout(timer);
  if (visible) refresh();
}

function scope() {
  return document.getElementById('log-scope-alltime').checked ? 'alltime' : 'session';
}

async function refresh() {
  clearTimeout(timer);
  if (stopped) return;
  const alltime = scope() === 'alltime';
  try {
    const reply = await call(alltime ? 'fetch_alltime_logs' : 'fetch_session_logs');
    lastLogs = Array.isArray(reply.logs) ? reply.logs.filter((entry) => entry && typeof entry === 'object') : [];
    // Newest first whatever order arrives; the sort is stable, so equal seconds keep the server's order.
    lastLogs.sort((a, b) => num(b, 'timestamp') - num(a, 'timestamp'));
    if (alltime) lastLogs = lastLogs.slice(0, ALLTIME_SHOWN);
    render(lastLogs);
    if (message.dataset.kind === 'error') showMessage(message, '');
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
  if (visible && !stopped && !alltime && !isStreamOpen()) timer = setTimeout(refresh, REFRESH_MS);
}

function render(logs) {
  const shown = problemsOnly.checked ? logs.filter((entry) => LEVELS[num(entry, 'type')]) : logs;
  // Rebuilding an unchanged list every few seconds would drop the user's text selection.
  const signature = JSON.stringify(shown);
  if (signature !== shownSignature) {
    shownSignature = signature;
    list.replaceChildren(...shown.map(logLine));
  }
  emptyNote.hidden = shown.length > 0;
  emptyNote.textContent = problemsOnly.checked ? 'No warnings or errors.' : 'No log messages.';
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
  refresh();
}
