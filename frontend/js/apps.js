// The "Apps and scripts" section of Settings: app tokens (made, copied once, revoked), the podcast
// feed's address, the bookmarklet and a phone shortcut's command, all with this server's address.

import { call, callAndReport } from './api.js';
import { confirmAction } from './confirm.js';
import { el, num, showMessage, str } from './dom.js';
import { listen, PASSWORD_CHANGED } from './events.js';
import { formatTime } from './format.js';
import { bookmarklet } from './share.js';

const SCOPES = { full: 'may do everything', feeds: 'may fetch podcast feeds and downloads' };

const state = document.getElementById('apps-state');
const list = document.getElementById('token-list');
const nameInput = document.getElementById('token-name');
const scopeSelect = document.getElementById('token-scope');
const createButton = document.getElementById('token-create');
const message = document.getElementById('apps-message');
const newBox = document.getElementById('token-new');
const newValue = document.getElementById('token-new-value');
const copyButton = document.getElementById('token-copy');
const feedAddress = document.getElementById('feed-address');
const bookmarkletLink = document.getElementById('bookmarklet');
const recipe = document.getElementById('shortcut-recipe');

let passwordSet = false;

export function initApps() {
  createButton.addEventListener('click', create);
  // Enter in the name makes the token; it must not save the settings form around it.
  nameInput.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter') return;
    event.preventDefault();
    create();
  });
  copyButton.addEventListener('click', copy);
  list.addEventListener('click', (event) => {
    const button = event.target.closest('button[data-action="revoke"]');
    if (button) revoke(button.dataset.name);
  });
  bookmarkletLink.href = bookmarklet(location.origin);
  // The page's own rules do not let the link run here; it is for dragging.
  bookmarkletLink.addEventListener('click', (event) => {
    event.preventDefault();
    showMessage(message, 'Drag “Send to Pelko” to the bookmarks bar, then use it on a video’s page.', 'notice');
  });
  showAddresses('TOKEN', 'TOKEN');
  listen(PASSWORD_CHANGED, () => refresh());
}

/** Called by the view switcher. */
export function setAppsVisible(isVisible) {
  if (isVisible) refresh();
}

async function refresh() {
  try {
    const reply = await call('fetch_api_tokens');
    passwordSet = reply.password_set === true;
    showTokens(Array.isArray(reply.api_tokens) ? reply.api_tokens : []);
  } catch (error) {
    showMessage(message, error.message, 'error');
  }
}

function showTokens(tokens) {
  state.textContent = !passwordSet
    ? 'No password is set, so apps and scripts need no token. Set a password above to make tokens.'
    : tokens.length === 0 ? 'No app tokens yet. Make one for each app or script, so that each can be revoked alone.'
      : `${tokens.length === 1 ? 'One app token admits' : `${tokens.length} app tokens admit`} apps and scripts.`;
  createButton.setAttribute('aria-disabled', String(!passwordSet));
  list.replaceChildren(...tokens.map((token) => {
    const name = str(token, 'name');
    const used = num(token, 'last_used');
    return el('li', { class: 'token-row' }, [
      el('span', { class: 'token-name', text: name }),
      el('span', {
        class: 'token-facts',
        text: `${SCOPES[str(token, 'scope')] ?? str(token, 'scope')} · made ${formatTime(num(token, 'created'))} · `
          + (used ? `last used ${formatTime(used)}` : 'never used'),
      }),
      el('button', { type: 'button', class: 'danger', dataset: { action: 'revoke', name }, text: 'Revoke', 'aria-label': `Revoke ${name}` }),
    ]);
  }));
}

async function create() {
  if (!passwordSet) {
    showMessage(message, 'Set a password first: without one, no app needs a token.', 'error');
    return;
  }
  const name = nameInput.value.trim();
  if (name === '') {
    showMessage(message, 'Give the token a name, such as the app that will use it.', 'error');
    nameInput.focus();
    return;
  }
  const scope = scopeSelect.value;
  const reply = await callAndReport(message, 'create_api_token', { name, scope }, 'Token created.');
  if (!reply) return;
  const token = str(reply, 'token');
  nameInput.value = '';
  newValue.value = token;
  newBox.hidden = false;
  showAddresses(scope === 'feeds' ? token : 'TOKEN', scope === 'full' ? token : 'TOKEN');
  newValue.focus();
  newValue.select();
  refresh();
}

/** The feed's address and the shortcut's command, with the token in them once there is one to show. */
function showAddresses(feedsToken, fullToken) {
  feedAddress.textContent = `${location.origin}/feeds/all.xml?token=${feedsToken}`;
  recipe.textContent = `curl -H "Authorization: Bearer ${fullToken}" -H "Content-Type: application/json" \\\n`
    + `  -d '{"request": "queue_download", "mode": "audio", "video_url": "SHARED_ADDRESS"}' \\\n`
    + `  ${location.origin}/api`;
}

async function copy() {
  try {
    await navigator.clipboard.writeText(newValue.value);
    showMessage(message, 'The token is copied.', 'ok');
  } catch {
    newValue.select();
    showMessage(message, 'Copy the selected token with Ctrl+C (or the long press menu).', 'notice');
  }
}

async function revoke(name) {
  const confirmed = await confirmAction({
    heading: `Revoke “${name}”?`,
    body: 'Whatever uses this token is refused from now on. This cannot be undone.',
    confirmLabel: 'Revoke',
  });
  if (!confirmed) return;
  if (await callAndReport(message, 'revoke_api_token', { name }, 'Token revoked.')) {
    newBox.hidden = true;
    newValue.value = '';
    showAddresses('TOKEN', 'TOKEN');
    refresh();
    nameInput.focus();
  }
}
