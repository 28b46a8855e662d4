// The server's event stream ("/events"), one per tab: while it is open the views learn of every
// change as it happens and poll nothing; when it fails they go back to polling.

import { announce, listen, ENTRY_CHANGED, LOG_ADDED, SHUT_DOWN, STREAM_STATE, SUBSCRIPTION_CHANGED } from './events.js';

// After a refusal (a password to enter, say) the browser does not try again by itself.
const REOPEN_MS = 15000;
// A stream that breaks gets this long before the views poll again: a shut-down ends the stream
// at about the time its reply arrives, and a poll then would find no server.
const FALLBACK_MS = 2000;

let source = null;
let open = false;
let reopenTimer = 0;
let fallbackTimer = 0;
let stopped = false;

/** True while the stream is open: a view that polls waits for its events instead. */
export function isStreamOpen() {
  return open;
}

export function initStream() {
  listen(SHUT_DOWN, () => {
    stopped = true;
    clearTimeout(reopenTimer);
    clearTimeout(fallbackTimer);
    source?.close();
    // Nothing is to poll again: the views stop by themselves.
    open = false;
    document.documentElement.dataset.eventStream = 'closed';
  });
  connect();
}

function connect() {
  if (stopped || typeof EventSource !== 'function') return;
  source = new EventSource('/events');
  source.addEventListener('open', () => {
    clearTimeout(fallbackTimer);
    setOpen(true);
  });
  source.addEventListener('error', () => {
    clearTimeout(fallbackTimer);
    fallbackTimer = setTimeout(() => setOpen(false), FALLBACK_MS);
    if (source.readyState !== EventSource.CLOSED) return;
    source = null;
    reopenTimer = setTimeout(connect, REOPEN_MS);
  });
  source.addEventListener('entry', (event) => forward(ENTRY_CHANGED, 'entry', event));
  source.addEventListener('log', (event) => forward(LOG_ADDED, 'log', event));
  source.addEventListener('subscriptions', (event) => forward(SUBSCRIPTION_CHANGED, 'subscription', event));
}

function forward(notice, key, event) {
  let data = null;
  try {
    data = JSON.parse(event.data);
  } catch {
    return;
  }
  if (data !== null && typeof data === 'object' && !Array.isArray(data)) announce(notice, { [key]: data });
}

function setOpen(isOpen) {
  if (open === isOpen) return;
  open = isOpen;
  document.documentElement.dataset.eventStream = open ? 'open' : 'closed';
  announce(STREAM_STATE, { open });
}
