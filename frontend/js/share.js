// What other apps and the bookmarklet send to the page: "/?url=…&text=…&title=…", the share target
// of the web app's manifest. Only the address is taken, to fill the queue form: nothing is queued
// without a tap, so no other site can queue anything through a link.

import { safeHttpUrl } from './dom.js';

// Shared texts end their addresses with the sentence around them.
const ADDRESS = /https?:\/\/[^\s<>"'`]+/i;
const TRAILING = /[.,;:!?)\]}»”’]+$/;

/** The first http(s) address of the shared url, else of the shared text; null when there is none. */
export function sharedAddress(search) {
  const params = new URLSearchParams(search);
  for (const name of ['url', 'text']) {
    const found = (params.get(name) ?? '').match(ADDRESS);
    const address = found ? safeHttpUrl(found[0].replace(TRAILING, '')) : null;
    if (address) return address;
  }
  return null;
}

/** True when the page was opened with something shared. */
export function wasShared(search) {
  const params = new URLSearchParams(search);
  return ['url', 'text', 'title'].some((name) => params.has(name));
}

/** The bookmarklet: opens this page with the address of the page it is used on. */
export function bookmarklet(origin) {
  const open = `${origin}/?url='+encodeURIComponent(location.href)+'&title='+encodeURIComponent(document.title)`;
  return `javascript:void((()=>{const u='${open};if(!window.open(u,'_blank'))location.href=u})())`;
}
