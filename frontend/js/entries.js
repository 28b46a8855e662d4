// Renders download entries (the JSON form the server lists them in) as cards, updated in place on every poll.

import { downloadPath } from './api.js';
import { modeWords } from './choices.js';
import { el, renderKeyed, safeHttpUrl, setText, str, num } from './dom.js';
import { formatBytes, formatDuration, formatTime, isoTime } from './format.js';

const STATUS_WORDS = { queued: 'Queued', downloading: 'Downloading', finished: 'Finished', failed: 'Failed' };
const MODE_GLYPHS = { video: '▶', audio: '♪' };
const metaTexts = new WeakMap();

const ACTIONS = ['remove', 'cancel', 'retry'];

/** Calls handlers[action](id, button) when a Remove, Cancel or Retry button of the list is pressed. */
export function bindEntryList(list, handlers) {
  list.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-action]');
    const action = button?.dataset.action;
    if (!button || !list.contains(button) || !ACTIONS.includes(action) || !handlers[action]) return;
    handlers[action](button.closest('[data-pelko-id]').dataset.pelkoId, button);
  });
}

/**
 * Makes `list` show `entries` in the given order. Cards are kept per pelko id so that focus, loaded
 * thumbnails and screen reader position survive the once-a-second refresh.
 */
export function renderEntries(list, entries, emptyNote) {
  const shown = renderKeyed(list, entries, 'pelkoId', (entry) => str(entry, 'pelko_id'), createCard, fillCard);
  if (emptyNote) emptyNote.hidden = shown > 0;
}

/** The status word of each entry, keyed by pelko id: what a caller compares between two polls. */
export function statusById(entries) {
  const map = new Map();
  for (const entry of Array.isArray(entries) ? entries : []) map.set(str(entry, 'pelko_id'), str(entry, 'status'));
  return map;
}

function createCard(id) {
  const thumb = el('div', { class: 'entry-thumb', 'aria-hidden': 'true' }, [
    el('span', { class: 'entry-glyph' }),
  ]);
  // Not [hidden] while loading: a lazy image that is not rendered is never fetched.
  const img = el('img', { alt: '', loading: 'lazy', decoding: 'async', referrerpolicy: 'no-referrer' });
  img.addEventListener('load', () => { img.dataset.state = 'loaded'; });
  img.addEventListener('error', () => { img.dataset.state = 'broken'; });
  thumb.append(img);

  const fill = el('div', { class: 'progress-fill' });
  const progress = el('div', {
    class: 'progress', role: 'progressbar', 'aria-valuemin': 0, 'aria-valuemax': 100, 'aria-valuenow': 0,
    dataset: { role: 'progress' },
  }, [fill]);

  return el('li', { class: 'entry card', dataset: { pelkoId: id } }, [
    thumb,
    el('div', { class: 'entry-body' }, [
      el('p', { class: 'entry-title', dataset: { role: 'title' } }),
      el('p', { class: 'entry-meta', dataset: { role: 'meta' } }),
      el('div', { class: 'entry-state' }, [
        el('span', { class: 'badge', dataset: { role: 'status' } }),
        el('span', {
          class: 'badge restored', dataset: { role: 'restored' }, hidden: true, text: 'Restored',
          title: 'Queued before the server restarted; it runs again from the beginning.',
        }),
        progress,
        el('span', { class: 'percent', dataset: { role: 'percent' } }),
      ]),
      el('p', { class: 'entry-detail', dataset: { role: 'detail' }, hidden: true }),
      el('div', { class: 'entry-problem', dataset: { role: 'problem' }, hidden: true }, [
        el('p', { class: 'entry-error', dataset: { role: 'error' } }),
        el('p', { class: 'entry-address' }, ['Address:', el('span', { dataset: { role: 'address' } })]),
      ]),
    ]),
    el('div', { class: 'entry-actions' }, [
      el('a', { class: 'button primary', download: true, dataset: { action: 'save' }, hidden: true, text: 'Save' }),
      el('button', { type: 'button', class: 'primary', dataset: { action: 'retry' }, hidden: true, text: 'Retry' }),
      el('button', { type: 'button', dataset: { action: 'cancel' }, hidden: true, text: 'Cancel' }),
      el('button', { type: 'button', dataset: { action: 'remove' }, text: 'Remove' }),
    ]),
  ]);
}

function fillCard(card, entry) {
  const id = card.dataset.pelkoId;
  const status = str(entry, 'status');
  const mode = str(entry, 'mode');
  const title = str(entry, 'title');
  const shownTitle = title || (status === 'failed' ? 'Video details could not be read' : 'Untitled');

  card.dataset.status = status;
  card.dataset.mode = mode;

  fillThumbnail(card.querySelector('.entry-thumb'), safeHttpUrl(str(entry, 'thumbnail_url')), mode);
  fillTitle(card.querySelector('[data-role="title"]'), shownTitle, safeHttpUrl(str(entry, 'webpage_url')), !title);
  fillMeta(card.querySelector('[data-role="meta"]'), entry, mode);

  const converting = status === 'downloading' && str(entry, 'stage') === 'converting';
  const badge = card.querySelector('[data-role="status"]');
  setText(badge, converting ? 'Converting' : STATUS_WORDS[status] ?? 'Unknown');
  badge.dataset.status = status;

  card.dataset.stage = converting ? 'converting' : status;
  card.querySelector('[data-role="restored"]').hidden = entry.restored !== true || status === 'finished';

  const percent = converting ? 100 : progressOf(entry, status);
  const bar = card.querySelector('[data-role="progress"]');
  const percentText = card.querySelector('[data-role="percent"]');
  bar.hidden = percent === null;
  percentText.hidden = percent === null || converting;
  if (percent !== null) {
    if (bar.getAttribute('aria-valuenow') !== String(percent)) bar.setAttribute('aria-valuenow', String(percent));
    bar.setAttribute('aria-label', `Progress of ${shownTitle}`);
    bar.firstElementChild.style.width = `${percent}%`;
    setText(percentText, `${percent} %`);
  }
  fillDetail(card.querySelector('[data-role="detail"]'), entry, status, converting, mode);
  fillProblem(card, entry, status);

  const save = card.querySelector('[data-action="save"]');
  save.hidden = status !== 'finished';
  save.setAttribute('href', downloadPath(id));
  save.setAttribute('aria-label', `Save ${shownTitle}`);
  const retry = card.querySelector('[data-action="retry"]');
  retry.hidden = status !== 'failed';
  retry.setAttribute('aria-label', `Retry ${shownTitle}`);
  const cancel = card.querySelector('[data-action="cancel"]');
  cancel.hidden = status !== 'queued' && status !== 'downloading';
  cancel.setAttribute('aria-label', `Cancel ${shownTitle}`);
  card.querySelector('[data-action="remove"]').setAttribute('aria-label', `Remove ${shownTitle}`);
}

/** Speed, time left and size while the download runs; what the converter makes while it converts;
 * where a finished file went in the library. */
function fillDetail(node, entry, status, converting, mode) {
  const parts = [];
  if (converting) {
    parts.push(mode === 'audio' ? 'Converting to MP3…' : 'Converting to MP4…');
  } else if (status === 'downloading') {
    const speed = num(entry, 'download_speed');
    const eta = num(entry, 'download_eta', -1);
    const total = num(entry, 'total_bytes');
    if (speed > 0) parts.push(`${formatBytes(speed)}/s`);
    if (eta >= 0) parts.push(`${formatDuration(eta)} left`);
    if (total > 0) parts.push(formatBytes(total));
  } else if (status === 'finished' && str(entry, 'library_path')) {
    parts.push(`In the library: ${str(entry, 'library_path')}`);
  }
  node.hidden = parts.length === 0;
  setText(node, parts.join(' · '));
}

/** Why a download failed, in the downloader's words, and the address the request named. */
function fillProblem(card, entry, status) {
  const problem = card.querySelector('[data-role="problem"]');
  problem.hidden = status !== 'failed';
  if (problem.hidden) return;
  const error = str(entry, 'error_message').replace(/^ERROR:\s*/, '');
  const errorNode = card.querySelector('[data-role="error"]');
  setText(errorNode, error || 'The server gave no reason.');
  errorNode.title = error;
  const address = str(entry, 'video_url') || str(entry, 'webpage_url');
  setText(card.querySelector('[data-role="address"]'), address);
  card.querySelector('.entry-address').title = address;
}

/** Percentage to show, or null when the entry has no progress worth a bar (failed, unknown). */
function progressOf(entry, status) {
  if (status === 'finished') return 100;
  if (status === 'queued') return 0;
  if (status !== 'downloading') return null;
  return Math.min(100, Math.max(0, Math.round(num(entry, 'download_progress'))));
}

function fillThumbnail(thumb, url, mode) {
  setText(thumb.querySelector('.entry-glyph'), MODE_GLYPHS[mode] ?? '▶');
  const img = thumb.querySelector('img');
  if (url === null) {
    img.dataset.state = 'none';
    img.removeAttribute('src');
  } else if (img.getAttribute('src') !== url) {
    img.dataset.state = 'loading';
    img.setAttribute('src', url);
  }
}

function fillTitle(node, text, pageUrl, isPlaceholder) {
  const current = node.firstElementChild;
  const wanted = pageUrl ?? '';
  if (!current || (current.getAttribute('href') ?? '') !== wanted) {
    const inner = pageUrl
      ? el('a', { href: pageUrl, target: '_blank', rel: 'noopener noreferrer' })
      : el('span');
    node.replaceChildren(inner);
  }
  setText(node.firstElementChild, text);
  node.classList.toggle('placeholder', isPlaceholder);
}

function fillMeta(node, entry, mode) {
  const parts = [];
  const uploader = str(entry, 'uploader');
  if (uploader) parts.push(el('span', { dataset: { role: 'uploader' }, text: uploader }));
  const duration = formatDuration(num(entry, 'duration', -1));
  if (duration) parts.push(el('span', { dataset: { role: 'duration' }, text: duration, title: 'Length' }));
  const format = modeWords(mode, str(entry, 'quality'), str(entry, 'audio_format'));
  if (format) parts.push(el('span', { dataset: { role: 'mode' }, text: format }));
  const queued = num(entry, 'queued_timestamp');
  if (queued > 0) parts.push(el('time', { datetime: isoTime(queued), text: formatTime(queued), title: 'Queued' }));
  // Downloads that a followed channel or playlist queued by itself say which one.
  const subscription = str(entry, 'subscription_name');
  if (subscription) {
    parts.push(el('span', { dataset: { role: 'subscription' }, text: `Subscription: ${subscription}`,
      title: 'Queued by itself: a new video of a channel or playlist you follow' }));
  }

  const signature = parts.map((part) => part.textContent).join('\u0000');
  if (metaTexts.get(node) !== signature) {
    metaTexts.set(node, signature);
    node.replaceChildren(...parts);
  }
}
