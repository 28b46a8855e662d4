// Renders one followed channel or playlist (the form fetch_subscriptions lists it in) as a card with
// its buttons and its edit form, updated in place so that focus and an open edit form survive a refresh.

import { modeWords } from './choices.js';
import { el, num, safeHttpUrl, setText, str } from './dom.js';
import { formatInterval, formatTime, isoTime } from './format.js';
import { subscriptionFields } from './subscriptionFields.js';

// A check's failure in the downloader's words, told as what it means for the person who follows.
const PROBLEMS = [
  [/HTTP Error 429|Too Many Requests/i, 'The site refused the check: too many requests. Pelko waits longer '
    + 'before the next one.'],
  [/not a bot/i, 'The site wants to be sure that you are not a bot. Load the cookies of a browser in which you are '
    + 'signed in (Settings, Cookies); Pelko waits longer before the next check.'],
  [/sign in|log in|login required|members[- ]only/i, 'The site wants you to sign in. Load the cookies of a browser '
    + 'in which you are signed in (Settings, Cookies).'],
  [/HTTP Error 404|does not exist|not found/i, 'The channel or playlist was not found. Is it still there?'],
  [/timed out|Connection refused|Name or service not known|Temporary failure in name resolution|unreachable/i,
    'The site could not be reached. The next check tries again.'],
];

const editForms = new WeakMap();

/** The last check's failure in plain words; "" when it went well. */
function plainProblem(error) {
  if (error === '') return '';
  return PROBLEMS.find(([pattern]) => pattern.test(error))?.[1] ?? 'The last check failed. The next one tries again.';
}

export function createCard(id) {
  const button = (action, text, extra = {}) => el('button', { type: 'button', dataset: { action }, ...extra },
    [el('span', { class: 'spinner', 'aria-hidden': 'true' }), el('span', { class: 'button-text', text })]);
  const fact = (role, label) => el('div', { class: 'fact' }, [el('dt', { text: label }), el('dd', { dataset: { role } })]);
  return el('li', { class: 'subscription card', dataset: { subscriptionId: id }, 'aria-busy': 'false' }, [
    el('div', { class: 'subscription-head' }, [
      el('h3', { class: 'subscription-name', dataset: { role: 'name' } }),
      el('span', { class: 'badge', dataset: { role: 'paused' }, text: 'Paused', hidden: true }),
      el('span', {
        class: 'badge feed', dataset: { role: 'feed' }, text: 'Feed', hidden: true,
        title: 'Checked through the site’s feed: one small request a check',
      }),
    ]),
    el('p', { class: 'subscription-address', dataset: { role: 'address' } }),
    el('p', { class: 'entry-meta', dataset: { role: 'meta' } }),
    el('dl', { class: 'subscription-facts' }, [
      fact('last-check', 'Last check'), fact('next-check', 'Next check'), fact('counts', 'Videos'),
    ]),
    // With a password a podcast app needs "?token=" and a token for feeds (Settings, Apps and scripts).
    el('p', { class: 'subscription-podcast' }, [
      'Podcast feed: ',
      el('a', { dataset: { role: 'podcast' }, href: `/feeds/${encodeURIComponent(id)}.xml`, text: `${location.origin}/feeds/${id}.xml` }),
    ]),
    el('div', { class: 'entry-problem', dataset: { role: 'problem' }, hidden: true }, [
      el('p', { class: 'entry-error', dataset: { role: 'error' } }),
      el('p', { class: 'subscription-reason' }, ['The downloader said: ', el('span', { dataset: { role: 'reason' } })]),
    ]),
    el('p', { class: 'message', role: 'status', 'aria-live': 'polite', dataset: { role: 'message' } }),
    el('div', { class: 'subscription-actions' }, [
      button('check', 'Check now', { class: 'primary' }),
      button('pause', 'Pause'),
      button('edit', 'Edit', { 'aria-expanded': 'false' }),
      button('remove', 'Remove', { class: 'danger' }),
    ]),
  ]);
}

export function fillCard(card, subscription) {
  const name = str(subscription, 'name') || str(subscription, 'url');
  const enabled = subscription.enabled !== false;
  card.dataset.enabled = String(enabled);
  setText(card.querySelector('[data-role="name"]'), name);
  card.querySelector('[data-role="paused"]').hidden = enabled;
  card.querySelector('[data-role="feed"]').hidden = subscription.feed !== true;
  fillAddress(card.querySelector('[data-role="address"]'), str(subscription, 'url'));

  const interval = num(subscription, 'check_interval');
  const keep = num(subscription, 'keep_last');
  setText(card.querySelector('[data-role="meta"]'), [
    modeWords(str(subscription, 'mode'), str(subscription, 'quality'), str(subscription, 'audio_format')),
    interval > 0 ? `checked ${formatInterval(interval)}` : '',
    keep > 0 ? `keeps the newest ${keep}` : '',
  ].filter(Boolean).join(' · '));
  fillTime(card.querySelector('[data-role="last-check"]'), num(subscription, 'last_check'), 'never');
  fillTime(card.querySelector('[data-role="next-check"]'), num(subscription, 'next_check'),
    'never', enabled ? '' : 'paused');
  const seen = num(subscription, 'videos_seen');
  const queued = num(subscription, 'videos_queued');
  setText(card.querySelector('[data-role="counts"]'), `${seen} seen · ${queued} queued`);

  const error = str(subscription, 'last_error');
  card.querySelector('[data-role="problem"]').hidden = error === '';
  setText(card.querySelector('[data-role="error"]'), plainProblem(error));
  setText(card.querySelector('[data-role="reason"]'), error.replace(/^ERROR:\s*/, ''));

  const pause = card.querySelector('[data-action="pause"]');
  setText(pause.querySelector('.button-text'), enabled ? 'Pause' : 'Resume');
  for (const [action, verb] of [['check', 'Check'], ['pause', enabled ? 'Pause' : 'Resume'], ['edit', 'Edit'],
    ['remove', 'Remove']]) {
    card.querySelector(`[data-action="${action}"]`).setAttribute('aria-label', `${verb} ${name}`);
  }
}

/**
 * The card's edit form, made when it is first opened: name, format, quality, interval and keep.
 * Gives { form, read, write }.
 */
export function editForm(card) {
  if (editForms.has(card)) return editForms.get(card);
  const prefix = `edit-${card.dataset.subscriptionId}`;
  const fields = subscriptionFields(prefix, ['check_interval', 'keep_last']);
  const nameInput = el('input', { id: `${prefix}-name`, type: 'text', autocomplete: 'off', spellcheck: 'false' });
  const form = el('form', { class: 'subscription-edit', novalidate: true, 'aria-busy': 'false', hidden: true }, [
    el('div', { class: 'field' }, [el('label', { for: nameInput.id, class: 'field-label', text: 'Name' }), nameInput]),
    fields.node,
    el('p', { class: 'message', role: 'status', 'aria-live': 'polite', dataset: { role: 'edit-message' } }),
    el('div', { class: 'toolbar' }, [
      el('button', { type: 'submit', class: 'primary', dataset: { action: 'save' } },
        [el('span', { class: 'spinner', 'aria-hidden': 'true' }), el('span', { class: 'button-text', text: 'Save' })]),
      el('button', { type: 'button', dataset: { action: 'cancel-edit' }, text: 'Cancel' }),
    ]),
  ]);
  const made = {
    form,
    read: () => ({ name: nameInput.value.trim(), ...fields.read() }),
    write(subscription) {
      nameInput.value = str(subscription, 'name');
      fields.write(subscription);
    },
  };
  card.append(form);
  editForms.set(card, made);
  return made;
}

function fillAddress(node, url) {
  const link = safeHttpUrl(url);
  const current = node.firstElementChild;
  if (!current || current.getAttribute('href') !== link) {
    node.replaceChildren(link ? el('a', { href: link, target: '_blank', rel: 'noopener noreferrer' }) : el('span'));
  }
  setText(node.firstElementChild, url);
  node.title = url;
}

/** A local time, `never` for 0, or `instead` when that is given. */
function fillTime(node, epochSeconds, never, instead = '') {
  const shown = instead || (epochSeconds > 0 ? formatTime(epochSeconds) : never);
  if (node.textContent === shown) return;
  node.replaceChildren(instead || epochSeconds <= 0 ? shown : el('time', { datetime: isoTime(epochSeconds), text: shown }));
}
