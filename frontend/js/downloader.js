// The Downloader section of Settings: which program downloads (its name, version and whether it is
// Pelko's own copy), the JavaScript runtime deno beside it, and the Update button, which installs
// the latest yt-dlp release as that copy together with the latest deno.

import { call, ApiError } from './api.js';
import { showBusy, showMessage, str } from './dom.js';

const section = document.getElementById('downloader-section');
const state = document.getElementById('downloader-state');
const pathNote = document.getElementById('downloader-path');
const runtimeState = document.getElementById('downloader-runtime');
const updateButton = document.getElementById('downloader-update');
const message = document.getElementById('downloader-message');

// The server's words for a failed update begin with this; the page says it in its own.
const FAILED_PREFIX = 'Unable do update youtube-dl.exe! ';

let updating = false;

export function initDownloader() {
  updateButton.addEventListener('click', update);
}

/** Called by the view switcher. */
export function setDownloaderVisible(isVisible) {
  if (isVisible) refresh();
}

async function refresh() {
  try {
    showProgram(await call('get_downloader_info'));
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
}

function showProgram(info) {
  const name = str(info, 'name');
  const version = str(info, 'version');
  state.dataset.ownCopy = String(info.own_copy === true);
  if (name === '') {
    state.textContent = 'No downloader program was found. Update to install yt-dlp as Pelko’s own copy.';
  } else {
    const where = info.own_copy === true ? 'Pelko’s own copy, kept current by Update' : 'installed on this system';
    state.textContent = `${name} ${version || '(version unknown)'} · ${where}`;
  }
  pathNote.textContent = str(info, 'path');
  pathNote.hidden = pathNote.textContent === '';
  const runtime = str(info, 'js_runtime_version');
  runtimeState.textContent = runtime === ''
    ? 'JavaScript runtime: none yet. Update installs deno, which YouTube downloads need.'
    : `JavaScript runtime: deno ${runtime} · Pelko’s own, for YouTube`;
}

async function update() {
  if (updating) return;
  setBusy(true);
  showMessage(message, 'Downloading and checking the latest yt-dlp and deno… this can take a minute.', 'notice');
  try {
    const reply = await call('update_dep_youtubedl');
    showMessage(message, `yt-dlp ${str(reply, 'version')} and deno ${str(reply, 'js_runtime_version')} are installed; `
      + 'the next downloads use them.', 'ok');
  } catch (error) {
    const reply = (error instanceof ApiError && error.reply) || {};
    let reason = error instanceof ApiError ? error.message.replace(FAILED_PREFIX, '') : String(error);
    const runtimeFailure = str(reply, 'js_runtime_message');
    if (runtimeFailure !== '' && !reason.includes(runtimeFailure)) reason += ` ${runtimeFailure}`;
    // yt-dlp may be in place while deno is not.
    showMessage(message, `${str(reply, 'version') === '' ? 'The update failed.' : 'The update is not complete.'} ${reason}`,
      'error');
  } finally {
    setBusy(false);
  }
  refresh();
}

function setBusy(busy) {
  updating = busy;
  showBusy(section, updateButton, busy, busy ? 'Updating…' : 'Update yt-dlp');
}
