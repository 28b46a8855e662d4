// The Downloads view: the queue form and the downloads of this session, polled while they run.

import { call, callAndReport } from './api.js';
import { fillAudioFormats, fillQualities } from './choices.js';
import { num, showBusy, showMessage, str } from './dom.js';
import { bindEntryList, renderEntries, statusById } from './entries.js';
import { announce, listen, CACHE_CHANGED, ENTRY_CHANGED, SHUT_DOWN, STREAM_STATE } from './events.js';
import { sharedAddress, wasShared } from './share.js';
import { isStreamOpen } from './stream.js';

const ACTIVE_POLL_MS = 1000;
const IDLE_POLL_MS = 10000;
const RETRY_POLL_MS = 5000;

const form = document.getElementById('queue-form');
const urlInput = document.getElementById('queue-url');
const submit = document.getElementById('queue-submit');
const queueMessage = document.getElementById('queue-message');
const list = document.getElementById('session-list');
const emptyNote = document.getElementById('session-empty');
const sessionMessage = document.getElementById('session-message');
const qualityChoice = document.getElementById('quality-choice');
const qualitySelect = document.getElementById('queue-quality');
const audioFormatChoice = document.getElementById('audio-format-choice');
const audioFormatSelect = document.getElementById('queue-audio-format');
const playlistBox = document.getElementById('queue-playlist');
const playlistNote = document.getElementById('note-playlist');

let timer = 0;
let polling = false;
let pollAgain = false;
let queueing = false;
let stopped = false;
let lastStatuses = null;
let shownEntries = [];
// A fetched list and the event stream come over two connections, so an event may arrive before a
// reply that is older than it. Each event's change is numbered; a reply does not undo a change
// numbered after its request was sent.
let changeCount = 0;
const changedAt = new Map();

export function initDownloads() {
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    queue();
  });
  fillQualities(qualitySelect);
  fillAudioFormats(audioFormatSelect);
  form.addEventListener('change', showOptions);
  showOptions();
  bindEntryList(list, entryActions(sessionMessage, urlInput));
  listen(CACHE_CHANGED, ({ source }) => { if (source !== 'session') poll(); });
  listen(SHUT_DOWN, () => { stopped = true; clearTimeout(timer); });
  // Opened: one fetch catches up with what happened before. Failed: polling takes over again.
  listen(STREAM_STATE, () => poll());
  listen(ENTRY_CHANGED, ({ entry }) => showChange(entry));
  document.addEventListener('visibilitychange', () => { if (!document.hidden) poll(); });
  takeShared();
  poll();
}

/** An address shared to the page fills the form; Download waits for the person's tap. */
function takeShared() {
  if (!wasShared(location.search)) return;
  const address = sharedAddress(location.search);
  // A reload must not fill the form again.
  history.replaceState(null, '', `${location.pathname}${location.hash}`);
  if (address === null) {
    showMessage(queueMessage, 'Nothing was shared that Pelko can download: no http or https address came with it.', 'error');
    return;
  }
  urlInput.value = address;
  showMessage(queueMessage, 'Shared with Pelko. Choose the format, then tap Download.', 'notice');
  submit.focus();
}

/** What the buttons of a download card do; messages go to `messageNode`. */
export function entryActions(messageNode, fallbackFocus) {
  return {
    remove: (id, button) => removeDownload(id, button, messageNode, fallbackFocus),
    cancel: (id, button) => changeDownload('cancel_download', id, button, messageNode, 'Download cancelled.'),
    retry: (id, button) => changeDownload('retry_download', id, button, messageNode, 'Download queued again!'),
  };
}

/** Cancels or retries one download; the card itself follows at the next poll. */
async function changeDownload(command, id, button, messageNode, fallback) {
  if (button.getAttribute('aria-disabled') === 'true') return;
  button.setAttribute('aria-disabled', 'true');
  try {
    if (await callAndReport(messageNode, command, { id }, fallback)) announce(CACHE_CHANGED, { source: 'change' });
  } finally {
    button.removeAttribute('aria-disabled');
  }
  poll();
}

/**
 * Removes one download (session or history) and moves focus to a neighbouring card, since the
 * pressed button disappears with its card.
 */
async function removeDownload(id, button, messageNode, fallbackFocus) {
  if (button.getAttribute('aria-disabled') === 'true') return;
  button.setAttribute('aria-disabled', 'true');
  if (!await callAndReport(messageNode, 'remove_download_entry', { id }, 'Successfully removed.')) {
    button.removeAttribute('aria-disabled');
    return;
  }
  const card = button.closest('li');
  const neighbour = card.nextElementSibling ?? card.previousElementSibling;
  card.remove();
  (neighbour?.querySelector('[data-action="remove"]') ?? fallbackFocus).focus();
  announce(CACHE_CHANGED, { source: 'remove' });
}

/**
 * The quality is a choice for video only, the audio format for audio only; the playlist switch
 * explains itself once it is on.
 */
function showOptions() {
  qualityChoice.hidden = form.elements.mode.value === 'audio';
  audioFormatChoice.hidden = !qualityChoice.hidden;
  playlistNote.hidden = !playlistBox.checked;
}

async function queue() {
  if (queueing) return;
  const url = urlInput.value.trim();
  if (url === '') {
    showMessage(queueMessage, 'Enter the address of a video page first.', 'error');
    urlInput.focus();
    return;
  }
  const mode = form.elements.mode.value === 'audio' ? 'audio' : 'video';
  const params = { video_url: url, mode };
  if (mode === 'video') params.quality = qualitySelect.value;
  else params.audio_format = audioFormatSelect.value;
  if (playlistBox.checked) params.playlist = true;

  setBusy(true);
  const since = changeCount;
  showMessage(queueMessage, params.playlist ? 'Reading the playlist… this can take a few seconds.'
    : 'Asking for the video’s details… this can take a few seconds.', 'notice');
  try {
    const reply = await call('queue_download', params);
    if (params.playlist) showQueuedPlaylist(reply);
    else showQueuedVideo(reply, since);
  } catch (error) {
    showMessage(queueMessage, error.message, 'error');
  } finally {
    setBusy(false);
  }
  poll();
}

function showQueuedPlaylist(reply) {
  const size = num(reply, 'playlist_size');
  showMessage(queueMessage, `${str(reply, 'message', 'Playlist queued!')} ${size === 1 ? 'Its video joins'
    : `Its ${size} videos join`} the queue one after the other.`, 'ok');
  urlInput.value = '';
}

function showQueuedVideo(reply, since) {
  const entry = (Array.isArray(reply.cache) ? reply.cache : [])
    .find((candidate) => str(candidate, 'pelko_id') === str(reply, 'pelko_id'));
  const reason = str(entry, 'error_message').replace(/^ERROR:\s*/, '');
  if (str(entry, 'status') === 'failed' && reason.includes('queue it as a playlist')) {
    showMessage(queueMessage, 'This address is a playlist, not a single video. Tick “Whole playlist” and '
      + 'download again to queue its videos.', 'error');
  } else if (str(entry, 'status') === 'failed') {
    showMessage(queueMessage, `The server could not read the details of this video. Is the address right?${
      reason ? ` The downloader said: ${reason}` : ''}`, 'error');
  } else {
    const position = Number.isInteger(reply.queue_position) ? ` Position in the queue: ${reply.queue_position}.` : '';
    showMessage(queueMessage, `${str(reply, 'message', 'Download queued!')}${position}`, 'ok');
    urlInput.value = '';
  }
  showSession(withNewerChanges(reply.cache, since));
}

function setBusy(busy) {
  queueing = busy;
  showBusy(form, submit, busy, busy ? 'Fetching…' : 'Download');
  urlInput.readOnly = busy;
}

/** Fetches the session's downloads now and plans the next fetch: fast while something runs, slow otherwise. */
async function poll() {
  clearTimeout(timer);
  if (stopped) return;
  if (polling) {
    pollAgain = true;
    return;
  }
  polling = true;
  let next = IDLE_POLL_MS;
  try {
    const since = changeCount;
    const reply = await call('fetch_session_cache');
    const active = showSession(withNewerChanges(reply.cache, since));
    if (sessionMessage.dataset.kind === 'error') showMessage(sessionMessage, '');
    next = active || queueing ? ACTIVE_POLL_MS : IDLE_POLL_MS;
  } catch (error) {
    showMessage(sessionMessage, error.message, 'error');
    next = RETRY_POLL_MS;
  } finally {
    polling = false;
  }
  if (pollAgain) {
    pollAgain = false;
    next = 0;
  }
  if (!stopped && (next === 0 || !isStreamOpen())) {
    timer = setTimeout(poll, document.hidden ? Math.max(next, IDLE_POLL_MS) : next);
  }
}

/** One download's change from the event stream: the card changes, a new one goes first (newest first). */
function showChange(entry) {
  const id = str(entry, 'pelko_id');
  changedAt.set(id, ++changeCount);
  const others = shownEntries.filter((shown) => str(shown, 'pelko_id') !== id);
  if (entry.removed === true) {
    if (others.length !== shownEntries.length) showSession(others);
    return;
  }
  const place = shownEntries.findIndex((shown) => str(shown, 'pelko_id') === id);
  showSession(place < 0 ? [entry, ...others] : shownEntries.map((shown, n) => (n === place ? entry : shown)));
}

/**
 * The entries of a reply to a request sent when `since` changes had come, with the cards that
 * changed later kept as those changes left them (added, changed or removed).
 */
function withNewerChanges(entries, since) {
  const replied = Array.isArray(entries) ? entries : [];
  const isNewer = (entry) => (changedAt.get(str(entry, 'pelko_id')) ?? 0) > since;
  const shown = new Map(shownEntries.map((entry) => [str(entry, 'pelko_id'), entry]));
  const repliedIds = new Set(replied.map((entry) => str(entry, 'pelko_id')));
  const added = shownEntries.filter((entry) => isNewer(entry) && !repliedIds.has(str(entry, 'pelko_id')));
  const kept = replied.flatMap((entry) => {
    if (!isNewer(entry)) return [entry];
    const current = shown.get(str(entry, 'pelko_id'));
    return current === undefined ? [] : [current];
  });
  return [...added, ...kept];
}

/** Shows the entries; true when one of them still waits or downloads. */
function showSession(entries) {
  shownEntries = Array.isArray(entries) ? entries : [];
  renderEntries(list, entries, emptyNote);
  const statuses = statusById(entries);
  if (lastStatuses !== null && changedOutcome(lastStatuses, statuses)) announce(CACHE_CHANGED, { source: 'session' });
  lastStatuses = statuses;
  return [...statuses.values()].some((status) => status === 'queued' || status === 'downloading');
}

/** True when a download appeared, vanished, finished or failed since the previous poll. */
function changedOutcome(before, after) {
  if (before.size !== after.size) return true;
  for (const [id, status] of after) {
    if (!before.has(id)) return true;
    if (before.get(id) !== status && (status === 'finished' || status === 'failed')) return true;
  }
  return false;
}
