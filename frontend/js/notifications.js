// The Settings view's Notifications section: webhook targets and the events Apprise is told of,
// which settings.js saves with the other settings, each target's last delivery, and the Test button.
// Secrets are write-only: the server shows a set one as its mask, and the mask sent back keeps it.

import { call } from './api.js';
import { el, showBusy, showMessage, str } from './dom.js';
import { formatTime } from './format.js';

const EVENTS = [
  ['queued', 'Queued'],
  ['finished', 'Finished'],
  ['failed', 'Failed'],
  ['subscription_error', 'Subscription errors'],
];
const NEW_WEBHOOK_EVENTS = ['finished', 'failed', 'subscription_error'];

const section = document.getElementById('notifications-section');
const hookList = document.getElementById('webhook-list');
const addHookButton = document.getElementById('webhook-add');
const appriseEvents = document.getElementById('apprise-events');
const appriseMissing = document.getElementById('apprise-missing');
const targetList = document.getElementById('notification-targets');
const testButton = document.getElementById('notification-test');
const testMessage = document.getElementById('notification-message');

let hooksMade = 0;
/** Whether the settings form holds unsaved edits: a test reaches only the saved targets. */
let isDirty = () => false;

export function initNotifications(dirtyCheck) {
  isDirty = dirtyCheck;
  appriseEvents.append(...EVENTS.map(([event, label]) => checkbox(`apprise-event-${event}`, event, label)));
  addHookButton.addEventListener('click', () => {
    addWebhookRow({ url: '', events: NEW_WEBHOOK_EVENTS, secret: '' }).querySelector('input').focus();
    hookList.dispatchEvent(new Event('change', { bubbles: true }));
  });
  hookList.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-action="remove-webhook"]');
    if (!button) return;
    const row = button.closest('li');
    const next = row.nextElementSibling ?? row.previousElementSibling;
    row.remove();
    (next?.querySelector('input') ?? addHookButton).focus();
    hookList.dispatchEvent(new Event('change', { bubbles: true }));
  });
  testButton.addEventListener('click', runTest);
}

/** Puts the saved webhooks and Apprise events into the section. */
export function fillNotifications(webhooks, events) {
  hookList.replaceChildren();
  for (const hook of Array.isArray(webhooks) ? webhooks : []) {
    if (hook && typeof hook === 'object') addWebhookRow(hook);
  }
  const chosen = new Set(Array.isArray(events) ? events : []);
  for (const box of appriseEvents.querySelectorAll('input')) box.checked = chosen.has(box.value);
}

/** Writes the section's webhooks and Apprise events into `config`; a row without an address is left out. */
export function collectNotifications(config) {
  config.notifications ??= {};
  config.notifications.webhooks = [...hookList.children]
    .map((row) => ({
      url: row.querySelector('input[data-field="url"]').value.trim(),
      events: [...row.querySelectorAll('input[type="checkbox"]:checked')].map((box) => box.value),
      secret: row.querySelector('input[data-field="secret"]').value,
    }))
    .filter((hook) => hook.url !== '');
  config.notifications.apprise_events = [...appriseEvents.querySelectorAll('input:checked')].map((box) => box.value);
}

/** Shows each target of the saved settings with its last delivery, and whether apprise is there at all. */
export function showNotificationTargets(targets, appriseInstalled) {
  appriseMissing.hidden = appriseInstalled !== false;
  const items = (Array.isArray(targets) ? targets : []).map((target) => {
    const attempted = typeof target.last_outcome === 'string';
    const outcome = attempted
      ? `${target.last_delivered ? 'Delivered' : 'Not delivered'}: ${target.last_outcome}`
        + (typeof target.last_attempt === 'number' ? ` (${formatTime(target.last_attempt)})` : '')
      : 'Nothing sent yet.';
    return targetRow(str(target, 'target'), outcome, attempted ? target.last_delivered === true : null);
  });
  targetList.replaceChildren(...items);
  if (items.length === 0) targetList.append(el('li', { class: 'note', text: 'No targets are saved yet.' }));
}

async function runTest() {
  if (testButton.getAttribute('aria-disabled') === 'true') return;
  if (isDirty()) {
    showMessage(testMessage, 'Save the settings first: the test goes to the saved targets.', 'notice');
    return;
  }
  showBusy(section, testButton, true, 'Testing…');
  showMessage(testMessage, 'Sending a test notification to every target…', 'notice');
  try {
    const reply = await call('test_notification');
    const results = Array.isArray(reply.targets) ? reply.targets : [];
    targetList.replaceChildren(...results.map((result) => targetRow(str(result, 'target'),
      `Test ${result.delivered ? 'delivered' : 'not delivered'}: ${str(result, 'outcome')}`, result.delivered === true)));
    const allDelivered = results.every((result) => result.delivered === true);
    showMessage(testMessage, str(reply, 'message', 'The test has been sent.'), allDelivered ? 'ok' : 'error');
  } catch (error) {
    showMessage(testMessage, error.message, 'error');
  } finally {
    showBusy(section, testButton, false, 'Test');
  }
}

function targetRow(name, outcome, delivered) {
  const state = delivered === null ? 'none' : delivered ? 'ok' : 'error';
  return el('li', { class: 'notification-target', dataset: { delivered: state } }, [
    el('span', { class: 'target-name', text: name }),
    el('span', { class: 'target-outcome', text: outcome }),
  ]);
}

function checkbox(id, value, label, checked = false) {
  const box = el('input', { id, type: 'checkbox', value });
  box.checked = checked;
  return el('label', { class: 'check', for: id }, [box, ` ${label}`]);
}

function addWebhookRow(hook) {
  hooksMade += 1;
  const id = `webhook-${hooksMade}`;
  const events = new Set(Array.isArray(hook.events) ? hook.events : []);
  const url = el('input', { id: `${id}-url`, type: 'text', inputmode: 'url', autocomplete: 'off', spellcheck: 'false',
    placeholder: 'https://example.org/hook', dataset: { field: 'url' } });
  url.value = str(hook, 'url');
  // A password field, so that the secret typed in is not shown and no browser offers to store it.
  const secret = el('input', { id: `${id}-secret`, type: 'password', autocomplete: 'new-password',
    placeholder: 'none', dataset: { field: 'secret' }, 'aria-describedby': 'note-webhook-secret' });
  secret.value = str(hook, 'secret');
  const row = el('li', { class: 'webhook-row' }, [
    el('div', { class: 'field' }, [el('label', { for: url.id, text: 'Address' }), url]),
    el('div', { class: 'field' }, [el('label', { for: secret.id, text: 'Secret' }), secret]),
    el('fieldset', { class: 'webhook-events' }, [
      el('legend', { text: 'Tell it of' }),
      ...EVENTS.map(([event, label]) => checkbox(`${id}-${event}`, event, label, events.has(event))),
    ]),
    el('button', { type: 'button', class: 'danger', dataset: { action: 'remove-webhook' }, text: 'Remove',
      'aria-label': `Remove the webhook ${url.value || 'without an address'}` }),
  ]);
  hookList.append(row);
  return row;
}
