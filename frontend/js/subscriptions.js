// The Subscriptions view: the form that follows a channel or playlist, and the followed ones with
// their checks, pause and resume, edits and removal. The server checks them by itself; the page only
// shows how that goes.

import { call } from './api.js';
import { confirmWithOption } from './confirm.js';
import { num, renderKeyed, showBusy, showMessage, str } from './dom.js';
import { announce, listen, CACHE_CHANGED, SHUT_DOWN, STREAM_STATE, SUBSCRIPTION_CHANGED } from './events.js';
import { formatTime } from './format.js';
import { createCard, editForm, fillCard } from './subscriptionCard.js';
import { subscriptionFields } from './subscriptionFields.js';
import { isStreamOpen } from './stream.js';

// Times and counts change with the server's own checks; while the view shows they are fetched this often.
const REFRESH_MS = 30000;

const form = document.getElementById('subscription-form');
const urlInput = document.getElementById('subscription-url');
const submit = document.getElementById('subscription-submit');
const formMessage = document.getElementById('subscription-message');
const list = document.getElementById('subscription-list');
const emptyNote = document.getElementById('subscriptions-empty');
const viewMessage = document.getElementById('subscriptions-message');
const refreshButton = document.getElementById('subscriptions-refresh');
const fields = subscriptionFields('subscription', ['check_interval', 'backlog', 'keep_last']);

/** The subscription each card shows, as the server last sent it: what its edit form starts from. */
const shown = new WeakMap();
let visible = false;
let stopped = false;
let adding = false;
let timer = 0;

const ACTIONS = { check, pause, edit, remove, 'cancel-edit': closeEdit };

export function initSubscriptions() {
  form.insertBefore(fields.node, formMessage);
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    follow();
  });
  refreshButton.addEventListener('click', refresh);
  list.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-action]');
    const action = ACTIONS[button?.dataset.action];
    if (!action || !list.contains(button) || button.getAttribute('aria-disabled') === 'true') return;
    action(button.closest('li[data-subscription-id]'), button);
  });
  list.addEventListener('submit', (event) => {
    event.preventDefault();
    save(event.target.closest('li[data-subscription-id]'), event.submitter ?? event.target.querySelector('[type="submit"]'));
  });
  listen(SHUT_DOWN, () => {
    stopped = true;
    clearTimeout(timer);
  });
  // With the event stream open a change is told as it happens instead of being polled for.
  listen(STREAM_STATE, () => { if (visible) refresh(); });
  listen(SUBSCRIPTION_CHANGED, () => { if (visible) refresh(); });
}

/** Called by the view switcher: the list is fetched when the view opens, and again now and then while it shows. */
export function setSubscriptionsVisible(isVisible) {
  visible = isVisible;
  if (visible) refresh();
  else clearTimeout(timer);
}

async function refresh() {
  clearTimeout(timer);
  if (stopped) return;
  try {
    const reply = await call('fetch_subscriptions');
    const count = renderKeyed(list, reply.subscriptions, 'subscriptionId', (item) => str(item, 'id'), createCard, show);
    emptyNote.hidden = count > 0;
    if (viewMessage.dataset.kind === 'error') showMessage(viewMessage, '');
  } catch (error) {
    showMessage(viewMessage, error.message, 'error');
  }
  clearTimeout(timer);
  if (visible && !stopped && !isStreamOpen()) timer = setTimeout(refresh, REFRESH_MS);
}

function show(card, subscription) {
  if (subscription === null || typeof subscription !== 'object') return;
  shown.set(card, subscription);
  fillCard(card, subscription);
}

function videos(count) {
  return `${count} video${count === 1 ? '' : 's'}`;
}

async function follow() {
  if (adding) return;
  const url = urlInput.value.trim();
  if (url === '') {
    showMessage(formMessage, 'Enter the address of a channel or playlist first.', 'error');
    urlInput.focus();
    return;
  }
  setAdding(true);
  showMessage(formMessage, 'Reading the newest videos of this address… this can take a few seconds.', 'notice');
  try {
    const reply = await call('add_subscription', { url, ...fields.read() });
    const queued = num(reply, 'new_videos');
    showMessage(formMessage, `${str(reply, 'message', 'Subscription added!')} Following “${
      str(reply.subscription, 'name')}”: ${queued > 0 ? `${videos(queued)} queued now, and its` : 'its'
    } new videos download by themselves.`, 'ok');
    urlInput.value = '';
    if (queued > 0) announce(CACHE_CHANGED, { source: 'subscription' });
  } catch (error) {
    showMessage(formMessage, error.message, 'error');
  } finally {
    setAdding(false);
  }
  refresh();
}

function setAdding(busy) {
  adding = busy;
  showBusy(form, submit, busy, busy ? 'Reading…' : 'Follow');
  urlInput.readOnly = busy;
}

function messageOf(card) {
  return card.querySelector('[data-role="message"]');
}

async function check(card, button) {
  const message = messageOf(card);
  showBusy(card, button, true, 'Checking…');
  showMessage(message, 'Looking for new videos…', 'notice');
  try {
    const reply = await call('check_subscription', { id: card.dataset.subscriptionId });
    show(card, reply.subscription);
    const count = num(reply, 'new_videos');
    // Why, in plain words, the card itself shows.
    if (str(reply.subscription, 'last_error')) showMessage(message, 'The check failed.', 'error');
    else showMessage(message, count === 0 ? 'No new videos.' : `${count} new video${count === 1 ? '' : 's'} queued.`, 'ok');
    if (count > 0) announce(CACHE_CHANGED, { source: 'subscription' });
  } catch (error) {
    showMessage(message, error.message, 'error');
  } finally {
    showBusy(card, button, false, 'Check now');
  }
}

async function pause(card, button) {
  const resume = card.dataset.enabled !== 'true';
  const message = messageOf(card);
  showBusy(card, button, true, resume ? 'Resuming…' : 'Pausing…');
  try {
    const reply = await call('update_subscription', { id: card.dataset.subscriptionId, enabled: resume });
    show(card, reply.subscription);
    const next = num(reply.subscription, 'next_check');
    showMessage(message, resume ? `Resumed: the next check is ${next > 0 ? `at ${formatTime(next)}` : 'soon'}.`
      : 'Paused: it is not checked until you resume it.', 'ok');
  } catch (error) {
    showMessage(message, error.message, 'error');
  } finally {
    showBusy(card, button, false, card.dataset.enabled === 'true' ? 'Pause' : 'Resume');
  }
}

/** Opens the card's edit form filled with what the server last sent, or closes it when it is open. */
function edit(card, button) {
  const editing = editForm(card);
  if (!editing.form.hidden) {
    closeEdit(card);
    return;
  }
  editing.write(shown.get(card) ?? {});
  showMessage(editing.form.querySelector('[data-role="edit-message"]'), '');
  editing.form.hidden = false;
  button.setAttribute('aria-expanded', 'true');
  editing.form.querySelector('input').focus();
}

function closeEdit(card) {
  editForm(card).form.hidden = true;
  const button = card.querySelector('[data-action="edit"]');
  button.setAttribute('aria-expanded', 'false');
  button.focus();
}

async function save(card, button) {
  const editing = editForm(card);
  const message = editing.form.querySelector('[data-role="edit-message"]');
  const params = editing.read();
  if (params.name === '') {
    showMessage(message, 'Give it a name.', 'error');
    editing.form.querySelector('input').focus();
    return;
  }
  if (button.getAttribute('aria-disabled') === 'true') return;
  showBusy(editing.form, button, true, 'Saving…');
  try {
    const reply = await call('update_subscription', { id: card.dataset.subscriptionId, ...params });
    show(card, reply.subscription);
    closeEdit(card);
    showMessage(messageOf(card), str(reply, 'message', 'Subscription changed.'), 'ok');
  } catch (error) {
    showMessage(message, error.message, 'error');
  } finally {
    showBusy(editing.form, button, false, 'Save');
  }
}

/** Asks first, and whether the downloads it queued go too; focus then moves to a neighbouring card. */
async function remove(card, button) {
  const name = card.querySelector('[data-role="name"]').textContent;
  const deleteDownloads = await confirmWithOption({
    heading: `Stop following “${name}”?`,
    body: 'Its new videos are no longer downloaded. What it downloaded so far stays in the cache as ordinary '
      + 'downloads, unless you tick the box.',
    option: 'Also delete the downloads it queued',
    confirmLabel: 'Remove',
  });
  if (deleteDownloads === null) return;
  showBusy(card, button, true, 'Removing…');
  try {
    const reply = await call('remove_subscription', { id: card.dataset.subscriptionId, delete_downloads: deleteDownloads });
    const removed = num(reply, 'removed_downloads');
    showMessage(viewMessage, `${str(reply, 'message', 'Subscription removed.')} ${deleteDownloads
      ? `${removed === 1 ? '1 download' : `${removed} downloads`} deleted.` : 'Its downloads stay in the cache.'}`, 'ok');
    const neighbour = card.nextElementSibling ?? card.previousElementSibling;
    card.remove();
    emptyNote.hidden = list.children.length > 0;
    (neighbour?.querySelector('[data-action="remove"]') ?? urlInput).focus();
    if (removed > 0) announce(CACHE_CHANGED, { source: 'subscription' });
  } catch (error) {
    showBusy(card, button, false, 'Remove');
    showMessage(messageOf(card), error.message, 'error');
  }
}
