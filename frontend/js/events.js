// Page-wide notices between the views, so that no view needs to know who listens.

/** Something added, removed or finished downloads: lists and disk usage are stale. detail: { source } */
export const CACHE_CHANGED = 'pelko:cache-changed';
/** The server was or was not reachable on the last command. detail: { reachable, message } */
export const CONNECTION = 'pelko:connection';
/** The server wants its password: the page shows its login view. detail: { reason } (may be empty) */
export const AUTH_REQUIRED = 'pelko:auth-required';
/** A password was set or removed. detail: { isSet } */
export const PASSWORD_CHANGED = 'pelko:password-changed';
/** The event stream opened or failed: views poll only while it is closed. detail: { open } */
export const STREAM_STATE = 'pelko:stream-state';
/** A download changed (its JSON form), or went: { pelko_id, removed: true }. detail: { entry } */
export const ENTRY_CHANGED = 'pelko:entry-changed';
/** A subscription changed (its JSON form), or went: { id, removed: true }. detail: { subscription } */
export const SUBSCRIPTION_CHANGED = 'pelko:subscription-changed';
/** The server wrote a log message (its JSON form). detail: { log } */
export const LOG_ADDED = 'pelko:log-added';
/** The server was told to shut down; nothing should poll any more. */
export const SHUT_DOWN = 'pelko:shut-down';

export function announce(name, detail = {}) {
  document.dispatchEvent(new CustomEvent(name, { detail }));
}

export function listen(name, handler) {
  document.addEventListener(name, (event) => handler(event.detail));
}
