// The Cookies section of Settings: loads a cookies.txt into the server or clears it, and shows whether
// cookies are set. Their text never comes back from the server, so the page never shows it.

import { call, callAndReport } from './api.js';
import { showMessage } from './dom.js';

// The server's limit: larger files are refused before they are read.
const MAX_BYTES = 1024 * 1024;

const state = document.getElementById('cookies-state');
const fileInput = document.getElementById('cookies-file');
const clearButton = document.getElementById('cookies-clear');
const message = document.getElementById('cookies-message');

export function initCookies() {
  fileInput.addEventListener('change', load);
  clearButton.addEventListener('click', clear);
}

/** Called by the view switcher. */
export function setCookiesVisible(isVisible) {
  if (isVisible) refresh();
}

async function refresh() {
  try {
    showState((await call('get_downloader_info')).cookies_set === true);
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
}

function showState(isSet) {
  state.dataset.cookiesSet = String(isSet);
  state.textContent = isSet ? 'Cookies are set: every download sends them.' : 'No cookies are set.';
  clearButton.hidden = !isSet;
}

async function load() {
  const file = fileInput.files[0];
  fileInput.value = '';
  if (!file) return;
  if (file.size > MAX_BYTES) {
    showMessage(message, `“${file.name}” is larger than 1 MiB; a cookies.txt is much smaller.`, 'error');
    return;
  }
  const text = await file.text();
  if (await callAndReport(message, 'set_cookies', { cookies: text }, 'Cookies set.')) showState(true);
}

async function clear() {
  if (await callAndReport(message, 'clear_cookies', {}, 'Cookies cleared.')) {
    showState(false);
    fileInput.focus();
  }
}
