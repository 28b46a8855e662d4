// The Settings view: every setting of the server's configuration document as a form field.

import { call, callAndReport } from './api.js';
import { confirmAction } from './confirm.js';
import { el, showMessage } from './dom.js';

// Used for a setting the server's document lacks, which happens when config.json was written by hand.
const DEFAULTS = {
  'httpServer.port': '6969',
  'httpServer.rootdir': 'frontend',
  'httpServer.polling_rate': 100,
  'logging.logfile_text': 'log.txt',
  'logging.logfile_json': 'log.json',
  'logging.autosave_interval': 1800,
  'downloader.cachedir': 'dlcache',
  'downloader.max_dlrate_per_thread': '100M',
  'downloader.num_threads': 1,
  'general.show_console': true,
  'access.only_allow_localhost': false,
  'access.enable_whitelist': false,
  'access.whitelist': ['127.0.0.1'],
};
const RESTART_SETTINGS = ['httpServer.port', 'httpServer.rootdir'];
const PATH_SETTINGS = ['httpServer.rootdir', 'logging.logfile_text', 'logging.logfile_json', 'downloader.cachedir'];
const INT_MAX = 2147483647;

const form = document.getElementById('settings-form');
const message = document.getElementById('settings-message');
const whitelist = document.getElementById('whitelist-list');
const addButton = document.getElementById('whitelist-add');
const resetButton = document.getElementById('settings-reset');
const fields = [...form.querySelectorAll('input[data-setting]')];

let loaded = null;
let dirty = false;
let busy = false;
let rowsMade = 0;

export function initSettings() {
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    save();
  });
  form.addEventListener('input', markDirty);
  form.addEventListener('change', markDirty);
  resetButton.addEventListener('click', reset);
  addButton.addEventListener('click', () => addWhitelistRow('').querySelector('input').focus());
  whitelist.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-action="remove-address"]');
    if (button) removeWhitelistRow(button.closest('li'));
  });
}

/** Called by the view switcher: the form is (re)filled from the server unless the user has unsaved edits. */
export function setSettingsVisible(isVisible) {
  if (isVisible && !dirty) load();
}

async function load() {
  try {
    // There is no command that only reads the settings: "update_config" without "config" changes
    // nothing and answers the current configuration document.
    const reply = await call('update_config');
    fill(reply.config);
    showMessage(message, '');
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
}

async function save() {
  if (busy) return;
  const config = collect();
  if (config === null) return;
  busy = true;
  const before = loaded;
  const reply = await callAndReport(message, 'update_config', { config }, 'Updated settings');
  busy = false;
  if (!reply) return;
  fill(reply.config);
  // The server answers "Updated settings" even when it kept its own value for a setting (a path that
  // leaves its working directory, a value of the wrong kind): only the document it sends back tells.
  const refused = Object.keys(DEFAULTS).filter((path) => !sameValue(readPath(config, path), loaded[path]));
  if (refused.length > 0) {
    markRefused(refused);
    const names = refused.map(settingName).join(', ');
    const pathHint = refused.some((path) => PATH_SETTINGS.includes(path))
      ? ' Files and directories must be relative paths inside the server’s working directory.'
      : '';
    showMessage(message, `The server did not accept ${names} and kept the value shown; the other settings were saved.${pathHint}`, 'error');
  } else if (RESTART_SETTINGS.some((path) => before && before[path] !== loaded[path])) {
    showMessage(message, `${message.textContent} The new port or front-end directory takes effect after a restart of the server.`, 'notice');
  }
}

async function reset() {
  const confirmed = await confirmAction({
    heading: 'Reset all settings?',
    body: 'Every setting goes back to its default value and is saved at once.',
    confirmLabel: 'Reset to defaults',
  });
  if (!confirmed) return;
  const reply = await callAndReport(message, 'reset_config_to_default_values', {}, 'Reset config to default...');
  if (reply) fill(reply.config);
}

function markDirty(event) {
  if (!event.target.closest('[data-setting]') && !event.target.closest('#whitelist-list')) return;
  dirty = true;
  showMessage(message, 'You have unsaved changes.', 'notice');
}

/** Puts the configuration document into the fields; remembers what was loaded. */
function fill(config) {
  const values = {};
  for (const [path, fallback] of Object.entries(DEFAULTS)) {
    const value = readPath(config, path);
    values[path] = sameKind(value, fallback) ? value : fallback;
  }
  values['access.whitelist'] = Array.isArray(readPath(config, 'access.whitelist'))
    ? readPath(config, 'access.whitelist').filter((item) => typeof item === 'string')
    : DEFAULTS['access.whitelist'];

  for (const input of fields) {
    const value = values[input.dataset.setting];
    if (input.dataset.kind === 'bool') input.checked = value;
    else input.value = String(value);
  }
  for (const input of form.querySelectorAll('[aria-invalid]')) input.removeAttribute('aria-invalid');
  whitelist.replaceChildren();
  for (const address of values['access.whitelist']) addWhitelistRow(address);
  loaded = values;
  dirty = false;
}

/** The configuration document built from the fields, or null (with the problem shown) when a field is invalid. */
function collect() {
  for (const input of fields) {
    input.setCustomValidity('');
    if (input.dataset.kind === 'string' && input.value.trim() === '') input.setCustomValidity('This setting cannot be empty.');
    if (input.dataset.kind === 'int') {
      const value = Number(input.value);
      if (input.value.trim() === '' || !Number.isInteger(value) || value < Number(input.min) || value > INT_MAX) {
        input.setCustomValidity(`Enter a whole number from ${input.min} to ${INT_MAX}.`);
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
  const addresses = [...whitelist.querySelectorAll('input')].map((input) => input.value.trim()).filter(Boolean);
  writePath(config, 'access.whitelist', addresses);
  return config;
}

function addWhitelistRow(address) {
  const index = whitelist.children.length + 1;
  rowsMade += 1;
  const id = `whitelist-entry-${rowsMade}`;
  const row = el('li', { class: 'whitelist-row' }, [
    el('label', { class: 'visually-hidden', for: id, text: `Allowed address ${index}` }),
    el('input', { id, type: 'text', inputmode: 'decimal', autocomplete: 'off', spellcheck: 'false', dataset: { role: 'whitelist-entry' } }),
    el('button', { type: 'button', dataset: { action: 'remove-address' }, text: 'Remove', 'aria-label': `Remove allowed address ${index}` }),
  ]);
  row.querySelector('input').value = address;
  whitelist.append(row);
  return row;
}

function removeWhitelistRow(row) {
  const next = row.nextElementSibling ?? row.previousElementSibling;
  row.remove();
  renumberWhitelist();
  (next?.querySelector('input') ?? addButton).focus();
  dirty = true;
  showMessage(message, 'You have unsaved changes.', 'notice');
}

function renumberWhitelist() {
  [...whitelist.children].forEach((row, i) => {
    row.querySelector('label').textContent = `Allowed address ${i + 1}`;
    row.querySelector('button').setAttribute('aria-label', `Remove allowed address ${i + 1}`);
  });
}

function markRefused(paths) {
  for (const path of paths) {
    for (const input of form.querySelectorAll(path === 'access.whitelist' ? '#whitelist-list input' : `input[data-setting="${path}"]`)) {
      input.setAttribute('aria-invalid', 'true');
    }
  }
}

/** The label a person sees for the setting at `path`. */
function settingName(path) {
  const input = form.querySelector(`input[data-setting="${path}"]`);
  const label = path === 'access.whitelist'
    ? document.getElementById('whitelist-label')
    : input.closest('label') ?? form.querySelector(`label[for="${input.id}"]`);
  return `“${label.textContent.trim()}”`;
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
  return typeof value === typeof fallback && !Array.isArray(value);
}
