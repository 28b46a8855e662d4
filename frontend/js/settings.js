// The Settings view: the server's settings as form fields, described by the server's own table
// ("fetch_settings_info": defaults, limits, which need a restart, which are paths), and the password.

import { call, callAndReport } from './api.js';
import { confirmAction } from './confirm.js';
import { el, showMessage } from './dom.js';
import { announce, AUTH_REQUIRED, PASSWORD_CHANGED } from './events.js';
import { initLibraryExample, showLibraryExample } from './libraryExample.js';
import { collectNotifications, fillNotifications, initNotifications, showNotificationTargets } from './notifications.js';

const RESTART_NOTE = 'Takes effect after a restart of the server.';
const PATH_NOTE = 'A path inside the server’s working directory.';

const form = document.getElementById('settings-form');
const message = document.getElementById('settings-message');
const resetButton = document.getElementById('settings-reset');
const fields = [...form.querySelectorAll('input[data-setting], select[data-setting]')];
const lists = [...form.querySelectorAll('ul[data-kind="list"]')];

const passwordSection = document.getElementById('password-section');
const passwordState = document.getElementById('password-state');
const passwordNew = document.getElementById('password-new');
const passwordRepeat = document.getElementById('password-repeat');
const passwordMessage = document.getElementById('password-message');
const passwordSetButton = document.getElementById('password-set');
const passwordRemoveButton = document.getElementById('password-remove');

/** What the server says about each setting, by path: default, applies, is_path, min, max, expected. */
let described = null;
let loaded = null;
let dirty = false;
let busy = false;
let rowsMade = 0;

export function initSettings() {
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    // Enter in a password field means that field's action, not saving the other settings.
    if (passwordSection.contains(document.activeElement)) setPassword();
    else save();
  });
  form.addEventListener('input', markDirty);
  form.addEventListener('change', markDirty);
  resetButton.addEventListener('click', reset);
  for (const button of form.querySelectorAll('button[data-add-to]')) {
    const list = document.getElementById(button.dataset.addTo);
    button.addEventListener('click', () => addListRow(list, '').querySelector('input').focus());
  }
  for (const list of lists) {
    list.addEventListener('click', (event) => {
      const button = event.target.closest('button[data-action="remove-item"]');
      if (button) removeListRow(list, button.closest('li'));
    });
  }
  passwordSetButton.addEventListener('click', setPassword);
  passwordRemoveButton.addEventListener('click', removePassword);
  initNotifications(() => dirty);
  initLibraryExample();
}

/** Called by the view switcher: the form is (re)filled from the server unless the user has unsaved edits. */
export function setSettingsVisible(isVisible) {
  if (isVisible && !dirty) load();
}

async function load() {
  try {
    const reply = await call('fetch_settings_info');
    const current = {};
    described = {};
    for (const setting of Array.isArray(reply.settings) ? reply.settings : []) {
      described[setting.path] = setting;
      writePath(current, setting.path, setting.value);
    }
    describeFields();
    fill(current);
    showPasswordState(reply.password_set === true);
    showNotificationTargets(reply.notification_targets, reply.apprise_installed);
    showMessage(message, '');
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
}

async function save() {
  if (busy || described === null) return;
  const config = collect();
  if (config === null) return;
  busy = true;
  const before = loaded;
  const reply = await callAndReport(message, 'update_config', { config }, 'Updated settings');
  busy = false;
  if (!reply) return;
  fill(reply.config);
  refreshTargets();
  const refused = Array.isArray(reply.refused_settings) ? reply.refused_settings.filter((path) => described[path]) : [];
  if (refused.length > 0) {
    markRefused(refused);
    const reasons = reply.refusal_reasons ?? {};
    const items = refused.map((path) => `${settingName(path)}: ${reasons[path] ?? 'not accepted.'}`);
    showMessage(message, `The server kept its own value for ${refused.length === 1 ? 'this setting' : 'these settings'} `
      + `and saved the others.\n${items.join('\n')}`, 'error');
    return;
  }
  const waiting = Object.values(described)
    .filter((setting) => setting.applies === 'after_restart' && !sameValue(before[setting.path], loaded[setting.path]))
    .map((setting) => settingName(setting.path));
  if (waiting.length > 0) {
    const what = waiting.length === 1 ? `The new value of ${waiting[0]} takes` : `The new values of ${waiting.join(' and ')} take`;
    showMessage(message, `${message.textContent} ${what} effect after a restart of the server.`, 'notice');
  }
}

/** The targets as now saved, each with its last delivery. */
async function refreshTargets() {
  try {
    const reply = await call('fetch_settings_info');
    showNotificationTargets(reply.notification_targets, reply.apprise_installed);
  } catch {
    // The settings' own message already says what became of the save.
  }
}

async function reset() {
  const confirmed = await confirmAction({
    heading: 'Reset all settings?',
    body: 'Every setting goes back to its default value and is saved at once. The password stays as it is.',
    confirmLabel: 'Reset to defaults',
  });
  if (!confirmed) return;
  const reply = await callAndReport(message, 'reset_config_to_default_values', {}, 'Reset config to default...');
  if (reply) fill(reply.config);
}

function markDirty(event) {
  if (passwordSection.contains(event.target)) return;
  if (!event.target.closest('[data-setting]') && !event.target.closest('ul[data-kind="list"]')) return;
  dirty = true;
  showMessage(message, 'You have unsaved changes.', 'notice');
}

/** Adds what the server's table says to the fields: limits, and notes on restarts and paths. */
function describeFields() {
  for (const input of fields) {
    const setting = described[input.dataset.setting];
    if (!setting) continue;
    if (input.dataset.kind === 'int') {
      input.min = String(setting.min);
      input.max = String(setting.max);
    }
    const notes = [];
    if (setting.applies === 'after_restart') notes.push(['restart-note', RESTART_NOTE]);
    if (setting.is_path) notes.push(['path-note', PATH_NOTE]);
    for (const [kind, text] of notes) {
      const id = `note-${kind}-${input.id}`;
      if (document.getElementById(id)) continue;
      (input.closest('label.check') ?? input).after(el('p', { id, class: `note ${kind}`, text }));
      input.setAttribute('aria-describedby', [input.getAttribute('aria-describedby'), id].filter(Boolean).join(' '));
    }
  }
}

/** Puts a configuration document into the fields (the server's default where it lacks one); remembers it. */
function fill(config) {
  const values = {};
  for (const [path, setting] of Object.entries(described)) {
    const value = readPath(config, path);
    values[path] = sameKind(value, setting.default) ? value : setting.default;
    if (Array.isArray(values[path])) values[path] = values[path].filter((item) => typeof item === 'string');
  }
  for (const input of fields) {
    const value = values[input.dataset.setting];
    if (value === undefined) continue;
    if (input.dataset.kind === 'bool') input.checked = value;
    else input.value = String(value);
  }
  for (const input of form.querySelectorAll('[aria-invalid]')) input.removeAttribute('aria-invalid');
  for (const list of lists) {
    list.replaceChildren();
    list.dataset.saved = '0';
    (values[list.dataset.setting] ?? []).forEach((item, place) => addListRow(list, item, place));
  }
  fillNotifications(readPath(config, 'notifications.webhooks'), values['notifications.apprise_events']);
  showLibraryExample();
  loaded = values;
  dirty = false;
}

/** The configuration document built from the fields, or null (with the problem shown) when a field is invalid. */
function collect() {
  for (const input of fields) {
    input.setCustomValidity('');
    // Only a field marked data-may-be-empty (the library folder: none) takes an empty value.
    if (input.dataset.kind === 'string' && input.value.trim() === '' && !('mayBeEmpty' in input.dataset)) {
      input.setCustomValidity('This setting cannot be empty.');
    }
    if (input.dataset.kind === 'int') {
      const value = Number(input.value);
      if (input.value.trim() === '' || !Number.isInteger(value) || value < Number(input.min) || value > Number(input.max)) {
        input.setCustomValidity(`Enter a whole number from ${input.min} to ${input.max}.`);
      }
    }
  }
  if (!form.checkValidity()) {
    showMessage(message, 'Some settings are not valid; nothing was saved.', 'error');
    form.reportValidity();
    return null;
  }

  const config = {};
  for (const input of fields) {
    const kind = input.dataset.kind;
    const value = kind === 'bool' ? input.checked : kind === 'int' ? Number(input.value) : input.value.trim();
    writePath(config, input.dataset.setting, value);
  }
  for (const list of lists) writePath(config, list.dataset.setting, listValues(list));
  collectNotifications(config);
  return config;
}

/**
 * A list's items. A write-only list's saved items are masked and kept by their place, so each keeps
 * it: a removed or emptied one sends "" there, which removes it; new items follow.
 */
function listValues(list) {
  const inputs = [...list.querySelectorAll('input')];
  if (!('writeOnly' in list.dataset)) return inputs.map((input) => input.value.trim()).filter(Boolean);
  const saved = Array(Number(list.dataset.saved ?? 0)).fill('');
  const added = [];
  for (const input of inputs) {
    if (input.dataset.place === undefined) added.push(input.value.trim());
    else saved[Number(input.dataset.place)] = input.value.trim();
  }
  return [...saved, ...added.filter(Boolean)];
}

/** `place`: where a saved item stands in the saved list; none for a new one. */
function addListRow(list, value, place) {
  const index = list.children.length + 1;
  rowsMade += 1;
  const id = `${list.id}-entry-${rowsMade}`;
  const row = el('li', { class: 'setting-list-row' }, [
    el('label', { class: 'visually-hidden', for: id, text: `${list.dataset.itemName} ${index}` }),
    el('input', { id, type: 'text', inputmode: list.dataset.inputmode, autocomplete: 'off', spellcheck: 'false', dataset: { role: 'list-entry' } }),
    el('button', { type: 'button', dataset: { action: 'remove-item' }, text: 'Remove', 'aria-label': `Remove ${list.dataset.itemName.toLowerCase()} ${index}` }),
  ]);
  row.querySelector('input').value = value;
  if (place !== undefined) {
    row.querySelector('input').dataset.place = String(place);
    list.dataset.saved = String(place + 1);
  }
  list.append(row);
  return row;
}

function removeListRow(list, row) {
  const next = row.nextElementSibling ?? row.previousElementSibling;
  row.remove();
  [...list.children].forEach((item, i) => {
    item.querySelector('label').textContent = `${list.dataset.itemName} ${i + 1}`;
    item.querySelector('button').setAttribute('aria-label', `Remove ${list.dataset.itemName.toLowerCase()} ${i + 1}`);
  });
  (next?.querySelector('input') ?? form.querySelector(`button[data-add-to="${list.id}"]`)).focus();
  dirty = true;
  showMessage(message, 'You have unsaved changes.', 'notice');
}

function showPasswordState(isSet) {
  passwordState.dataset.passwordSet = String(isSet);
  passwordState.textContent = isSet
    ? 'A password protects this server: everyone has to log in, this computer included.'
    : 'No password is set: whoever the access settings above let in may use the server.';
  passwordSetButton.textContent = isSet ? 'Change password' : 'Set password';
  passwordRemoveButton.hidden = !isSet;
}

async function setPassword() {
  const password = passwordNew.value;
  let problem = '';
  if (password === '') problem = 'Enter the new password.';
  else if (password !== passwordRepeat.value) problem = 'The two passwords differ.';
  else if (new TextEncoder().encode(password).length > 1024) problem = 'The password may be at most 1024 bytes long.';
  if (problem) {
    showMessage(passwordMessage, problem, 'error');
    (password === '' ? passwordNew : passwordRepeat).focus();
    return;
  }
  if (!await callAndReport(passwordMessage, 'set_password', { password }, 'The password has been set.')) return;
  passwordNew.value = '';
  passwordRepeat.value = '';
  showPasswordState(true);
  announce(PASSWORD_CHANGED, { isSet: true });
  // Every session ended with the old password, this page's own included.
  announce(AUTH_REQUIRED, { reason: 'The password has been set. Log in with it to go on.' });
}

async function removePassword() {
  const confirmed = await confirmAction({
    heading: 'Remove the password?',
    body: 'Whoever the access settings let in can then use the server without logging in.',
    confirmLabel: 'Remove password',
  });
  if (!confirmed) return;
  if (!await callAndReport(passwordMessage, 'set_password', { password: '' }, 'The password has been removed.')) return;
  showPasswordState(false);
  announce(PASSWORD_CHANGED, { isSet: false });
  passwordSetButton.focus();
}

function markRefused(paths) {
  for (const path of paths) {
    const holder = form.querySelector(`[data-setting="${path}"]`);
    const inputs = holder?.matches('input') ? [holder] : holder?.querySelectorAll('input') ?? [];
    for (const input of inputs) input.setAttribute('aria-invalid', 'true');
  }
}

/** The label a person sees for the setting at `path`: its field's, or its group's. */
function settingName(path) {
  const input = form.querySelector(`:is(input, select)[data-setting="${path}"]`);
  const group = input ? null : form.querySelector(`[data-setting="${path}"]`)?.closest('[role="group"]');
  const label = group
    ? document.getElementById(group.getAttribute('aria-labelledby'))
    : input?.closest('label') ?? form.querySelector(`label[for="${input?.id}"]`);
  return `“${label ? label.textContent.trim() : group?.getAttribute('aria-label') ?? path}”`;
}

function sameValue(a, b) {
  return JSON.stringify(a) === JSON.stringify(b);
}

function readPath(object, path) {
  return path.split('.').reduce((node, key) => (node && typeof node === 'object' ? node[key] : undefined), object);
}

function writePath(object, path, value) {
  const [group, key] = path.split('.');
  object[group] ??= {};
  object[group][key] = value;
}

function sameKind(value, fallback) {
  if (Number.isInteger(fallback)) return Number.isInteger(value);
  if (Array.isArray(fallback)) return Array.isArray(value);
  return typeof value === typeof fallback && !Array.isArray(value);
}
