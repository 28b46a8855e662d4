// The login view: shown instead of every other view when the server asks for its password, for
// instance after a restart of the server or a new password. A login sets the session cookie and
// loads the page anew.

import { showMessage } from './dom.js';

const view = document.getElementById('view-login');
const form = document.getElementById('login-form');
const reasonLine = document.getElementById('login-reason');
const next = document.getElementById('login-next');
const password = document.getElementById('login-password');
const message = document.getElementById('login-message');
const submit = document.getElementById('login-submit');

const DEFAULT_REASON = 'This server is protected by a password.';

export function initLogin() {
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    logIn();
  });
}

/** Shows the login view in place of the others; `reason` says why, when there is more to say. */
export function showLogin(reason) {
  next.value = `/${location.hash}`;
  // Other views keep polling meanwhile; their refusals must not replace a reason given before.
  if (reason || view.hidden) reasonLine.textContent = reason || DEFAULT_REASON;
  if (!view.hidden) return;
  view.hidden = false;
  password.focus();
}

async function logIn() {
  if (submit.getAttribute('aria-disabled') === 'true') return;
  submit.setAttribute('aria-disabled', 'true');
  let response;
  try {
    // The server answers a good password with a redirect that carries the cookie; it is not followed here.
    response = await fetch('/login', {
      method: 'POST',
      body: new URLSearchParams({ password: password.value, next: next.value }),
      redirect: 'manual',
      cache: 'no-store',
    });
  } catch {
    response = null;
  }
  submit.removeAttribute('aria-disabled');
  if (response && (response.type === 'opaqueredirect' || response.ok)) {
    location.reload();
    return;
  }
  if (response?.status === 429) {
    const wait = Number(response.headers.get('Retry-After')) || 1;
    showMessage(message, `Too many wrong passwords. Try again in ${wait} s.`, 'error');
  } else if (response?.status === 401) {
    showMessage(message, 'Wrong password.', 'error');
  } else {
    showMessage(message, response ? `The server answered with HTTP status ${response.status}.` : 'Cannot reach the server.', 'error');
  }
  password.select();
}
