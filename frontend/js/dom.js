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
