// A long list of query results shown a window at a time: the next page is fetched as the user
// scrolls towards the end, the previous one towards the start, and cards far behind are dropped
// (a spacer keeps their height), so the page stays small however many results there are.

export const PAGE_SIZE = 100;
// Three pages: the one read now and one on either side.
const MAX_SHOWN = 3 * PAGE_SIZE;
// Pages are fetched while the end is still this far away, so that scrolling rarely waits.
const AHEAD_PX = 1200;

export class PagedList {
  /**
   * `fetchPage(offset, limit)` resolves with { total, items }; `render(items)` makes `list` show
   * exactly one child per item, in order; `keyOf(item)` tells items apart (null: all differ);
   * `onChange(pagedList)` follows every change of the window or the total; `onError(error)` hears
   * why a fetch failed.
   */
  constructor({ list, fetchPage, render, keyOf = () => null, onChange = () => {}, onError = () => {} }) {
    Object.assign(this, { list, fetchPage, render, keyOf, onChange, onError });
    this.first = 0;  // the offset of the first item shown
    this.items = [];
    this.total = 0;
    this.loaded = false;  // a first page has arrived for the query of now
    this.query = 0;       // bumped by reset: a late answer to an older query is dropped
    this.running = null;
    this.spacer = Object.assign(document.createElement('div'), { className: 'paged-spacer' });
    const sentinel = () => Object.assign(document.createElement('div'), { className: 'paged-sentinel' });
    this.top = sentinel();
    this.bottom = sentinel();
    for (const node of [this.spacer, this.top, this.bottom]) node.setAttribute('aria-hidden', 'true');
    list.before(this.spacer, this.top);
    list.after(this.bottom);
    const observer = new IntersectionObserver(() => this.fill(), { rootMargin: `${AHEAD_PX}px 0px` });
    observer.observe(this.top);
    observer.observe(this.bottom);
    // A jump into the place of dropped cards passes no end of the list: the scroll itself tells.
    let pending = false;
    window.addEventListener('scroll', () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => { pending = false; this.fill(); });
    }, { passive: true });
  }

  /** Starts over at the first result (a new search, filter or order). */
  reset() {
    this.query += 1;
    this.first = 0;
    this.items = [];
    this.loaded = false;
    this.setSpacer(0);
    return this.run(async (query) => {
      const page = await this.fetchPage(0, PAGE_SIZE);
      if (query !== this.query) return;
      this.take(page.total, page.items);
    });
  }

  /** Fetches the window shown now again (something changed on the server). */
  refresh() {
    if (!this.loaded) return this.reset();
    return this.run(async (query) => {
      const count = Math.min(Math.max(this.items.length, PAGE_SIZE), MAX_SHOWN);
      const page = await this.fetchPage(this.first, count);
      if (query !== this.query) return;
      if (page.items.length > 0 || this.first === 0) {
        this.take(page.total, page.items);
        return;
      }
      // Everything from here on went: back to the start.
      this.first = 0;
      this.setSpacer(0);
      const start = await this.fetchPage(0, PAGE_SIZE);
      if (query === this.query) this.take(start.total, start.items);
    });
  }

  /** Items, keyed, without those already shown. */
  fresh(items) {
    const shown = new Set(this.items.map(this.keyOf).filter((key) => key !== null));
    return items.filter((item) => { const key = this.keyOf(item); return key === null || !shown.has(key); });
  }

  /**
   * One more result that is the newest of all: shown first when `newestFirst` and the window starts
   * at the first result (the window moves on by one otherwise), counted either way; no fetch.
   */
  addNewest(item, newestFirst) {
    if (!this.loaded) return;
    this.total += 1;
    if (!newestFirst) {
      this.onChange(this);
      return;
    }
    if (this.first > 0) this.first += 1;
    else this.items = [item, ...this.items].slice(0, MAX_SHOWN);
    this.show();
  }

  take(total, items) {
    this.total = total;
    this.items = items;
    this.loaded = true;
    this.show();
  }

  show() {
    this.render(this.items);
    this.onChange(this);
  }

  setSpacer(height) {
    this.spacerHeight = Math.max(0, height);
    this.spacer.style.height = `${this.spacerHeight}px`;
  }

  /** One fetch at a time; the window is filled again once it is done. */
  async run(step) {
    while (this.running) await this.running.catch(() => {});
    this.running = (async () => {
      try {
        await step(this.query);
      } catch (error) {
        this.onError(error);
        throw error;
      }
    })();
    try {
      await this.running;
    } finally {
      this.running = null;
    }
    this.fill();
  }

  near(sentinel) {
    const rect = sentinel.getBoundingClientRect();
    // A hidden view has no boxes: it fetches nothing.
    return this.list.getClientRects().length > 0 && rect.top < window.innerHeight + AHEAD_PX && rect.bottom > -AHEAD_PX;
  }

  /** Fetches towards whichever end is near, if there is more there. */
  fill() {
    if (this.running || !this.loaded) return;
    const spacer = this.spacer.getBoundingClientRect();
    if (this.first > 0 && this.list.getClientRects().length > 0 && spacer.top < window.innerHeight
      && spacer.bottom > window.innerHeight + AHEAD_PX) {
      // A jump far back, into the place of dropped cards: the page there is fetched at once.
      const perCard = this.spacerHeight / this.first;
      const offset = Math.max(0, Math.floor(-spacer.top / perCard) - PAGE_SIZE / 2);
      this.run((query) => this.jumpTo(query, Math.min(offset, this.first - 1), perCard)).catch(() => {});
    } else if (this.near(this.bottom) && this.first + this.items.length < this.total) {
      this.run((query) => this.loadNext(query)).catch(() => {});
    } else if (this.near(this.top) && this.first > 0) {
      this.run((query) => this.loadPrevious(query)).catch(() => {});
    }
  }

  async loadNext(query) {
    const page = await this.fetchPage(this.first + this.items.length, PAGE_SIZE);
    if (query !== this.query) return;
    this.total = page.total;
    const added = this.fresh(page.items);
    if (added.length === 0) {
      // Everything moved on meanwhile (removals): the window is read again where it is.
      this.total = Math.min(this.total, this.first + this.items.length);
      this.onChange(this);
      return;
    }
    let items = this.items.concat(added);
    const excess = items.length - MAX_SHOWN;
    if (excess > 0) {
      // The cards that go keep their place as the spacer's height.
      const cards = this.list.children;
      this.setSpacer(this.spacerHeight + cards[excess].offsetTop - cards[0].offsetTop);
      this.first += excess;
      items = items.slice(excess);
    }
    this.items = items;
    this.show();
  }

  async jumpTo(query, offset, perCard) {
    const page = await this.fetchPage(offset, PAGE_SIZE);
    if (query !== this.query) return;
    this.first = offset;
    this.setSpacer(offset * perCard);
    this.take(page.total, page.items);
  }

  async loadPrevious(query) {
    const offset = Math.max(0, this.first - PAGE_SIZE);
    const page = await this.fetchPage(offset, this.first - offset);
    if (query !== this.query) return;
    this.total = page.total;
    const anchor = this.list.firstElementChild;
    const anchorTop = anchor?.getBoundingClientRect().top ?? 0;
    const added = this.fresh(page.items);
    this.first = offset;
    this.items = added.concat(this.items).slice(0, MAX_SHOWN);
    this.show();
    const cards = this.list.children;
    const addedHeight = anchor && cards[added.length] ? cards[added.length].offsetTop - cards[0].offsetTop : 0;
    this.setSpacer(offset === 0 ? 0 : this.spacerHeight - addedHeight);
    // What the user looked at stays where it was, whatever the new cards measure.
    if (anchor?.isConnected) window.scrollBy(0, anchor.getBoundingClientRect().top - anchorTop);
  }
}

const TYPING_PAUSE_MS = 250;

/**
 * Calls `changed()` whenever the query controls of `form` change: at once for choices and for
 * Enter, after a short pause in typing for text.
 */
export function onQueryChange(form, changed) {
  let timer = 0;
  const now = () => { clearTimeout(timer); changed(); };
  form.addEventListener('submit', (event) => { event.preventDefault(); now(); });
  form.addEventListener('change', (event) => { if (event.target.type !== 'search') now(); });
  form.addEventListener('input', (event) => {
    if (event.target.type !== 'search') return;
    clearTimeout(timer);
    timer = setTimeout(changed, TYPING_PAUSE_MS);
  });
}
