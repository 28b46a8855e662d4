// Page-wide notices between the views, so that no view needs to know who listens.

/** Something added, removed or finished downloads: lists and disk usage are stale. detail: { source } */
export const CACHE_CHANGED = 'pelko:cache-changed';
/** The server was or was not reachable on the last command. detail: { reachable, message } */
export const CONNECTION = 'pelko:connection';
/** The server was told to shut down; nothing should poll any more. */
export const SHUT_DOWN = 'pelko:shut-down';

export function announce(name, detail = {}) {
  document.dispatchEvent(new CustomEvent(name, { detail }));
}

export function listen(name, handler) {
  document.addEventListener(name, (event) => handler(event.detail));
}
