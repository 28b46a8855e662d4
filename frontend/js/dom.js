// Small DOM helpers. Server texts only ever enter the page as text nodes or checked attributes.

/**
 * Creates an element. `props` may hold `class`, `text`, `hidden`, `dataset` (object) and any attribute;
 * `children` are nodes or strings (strings become text nodes).
 */
export function el(tag, props = {}, children = []) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (value === undefined || value === null || value === false) continue;
    if (key === 'class') node.className = value;
    else if (key === 'text') node.textContent = value;
    else if (key === 'dataset') Object.assign(node.dataset, value);
    else node.setAttribute(key, value === true ? '' : String(value));
  }
  node.append(...children);
  return node;
}

/** The URL itself when it is an absolute http(s) address, otherwise null (no javascript:, data: and the like). */
export function safeHttpUrl(text) {
  if (typeof text !== 'string' || text === '') return null;
  try {
    const url = new URL(text);
    return url.protocol === 'http:' || url.protocol === 'https:' ? url.href : null;
  } catch {
    return null;
  }
}

/** Shows `text` in a message paragraph; kind is 'ok', 'notice' or 'error'. An empty text hides it. */
export function showMessage(node, text, kind = 'ok') {
  node.textContent = text;
  node.dataset.kind = text ? kind : '';
}

/** Reads the member as a string, or gives `fallback` when the server sent something else. */
export function str(object, key, fallback = '') {
  const value = object?.[key];
  return typeof value === 'string' ? value : fallback;
}

/** Reads the member as a finite number, or gives `fallback`. */
export function num(object, key, fallback = 0) {
  const value = object?.[key];
  return typeof value === 'number' && Number.isFinite(value) ? value : fallback;
}

/**
 * Shows that the server works on what `button` asked for: `container` is marked busy and the button
 * shows `text` and its spinner. aria-disabled rather than disabled, so the button keeps keyboard focus.
 */
export function showBusy(container, button, busy, text) {
  container.setAttribute('aria-busy', String(busy));
  button.setAttribute('aria-disabled', String(busy));
  button.querySelector('.button-text').textContent = text;
}

/** Sets a node's text only when it differs, so that a refresh leaves screen readers and selections alone. */
export function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

/**
 * Makes `list` show one child per item, in the items' order. A child is kept per key (`keyOf(item)`,
 * stored as `dataset[keyName]`) so that focus, loaded images and what a person reads survive each
 * refresh: `create(key)` makes a missing one, `fill(child, item)` shows the item. Items without a
 * key, or with one already shown, are passed over. Gives the number of children shown.
 */
export function renderKeyed(list, items, keyName, keyOf, create, fill) {
  const existing = new Map();
  for (const child of list.children) existing.set(child.dataset[keyName], child);
  const seen = new Set();
  for (const item of Array.isArray(items) ? items : []) {
    if (item === null || typeof item !== 'object') continue;
    const key = keyOf(item);
    if (key === '' || seen.has(key)) continue;
    const child = existing.get(key) ?? create(key);
    fill(child, item);
    if (list.children[seen.size] !== child) list.insertBefore(child, list.children[seen.size] ?? null);
    seen.add(key);
  }
  for (const [key, child] of existing) if (!seen.has(key)) child.remove();
  return seen.size;
}
