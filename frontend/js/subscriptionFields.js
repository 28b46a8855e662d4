// The fields that the Follow form and a subscription's edit form share: its format, quality and audio format, how
// often it is checked and how many of its downloads stay.

import { fillAudioFormats, fillQualities } from './choices.js';
import { el } from './dom.js';

const NUMBERS = [
  { key: 'check_interval', label: 'Check every', unit: 'minutes', min: 10, max: 10080, value: 60,
    note: 'From 10 minutes to a week (10080).' },
  { key: 'backlog', label: 'Start with the newest', unit: 'videos', min: 0, max: 500, value: 0,
    note: 'They download at once; 0: only videos that appear from now on.' },
  { key: 'keep_last', label: 'Keep only the newest', unit: 'downloads', min: 0, max: 100000, value: 0,
    note: '0: keep every download. Older ones are removed from the cache.' },
];

/**
 * Builds the fields, their ids starting with `prefix`; `keys` names the number fields wanted.
 * Gives { node, read, write }: read() the parameters to send (an emptied number is left out, so the
 * server keeps its value), write(subscription) shows a subscription's values.
 */
export function subscriptionFields(prefix, keys) {
  const quality = el('select', { id: `${prefix}-quality` });
  fillQualities(quality);
  const radio = (value, text) => el('label', {}, [
    el('input', { type: 'radio', name: `${prefix}-mode`, id: `${prefix}-mode-${value}`, value, checked: value === 'video' }),
    ` ${text}`,
  ]);
  const qualityField = el('div', { class: 'quality-choice' }, [el('label', { for: quality.id, text: 'Quality' }), quality]);
  const audioFormat = el('select', { id: `${prefix}-audio-format` });
  fillAudioFormats(audioFormat);
  const audioFormatField = el('div', { class: 'quality-choice' },
    [el('label', { for: audioFormat.id, text: 'Audio format' }), audioFormat]);
  const numbers = NUMBERS.filter(({ key }) => keys.includes(key)).map((number) => numberField(prefix, number));
  const node = el('div', { class: 'subscription-fields' }, [
    el('div', { class: 'queue-options' }, [
      el('fieldset', { class: 'mode-choice' }, [
        el('legend', { text: 'Format' }),
        el('div', { class: 'segmented' }, [radio('video', 'Video (MP4)'), radio('audio', 'Audio')]),
      ]),
      qualityField,
      audioFormatField,
    ]),
    el('div', { class: 'number-fields' }, numbers.map(({ field }) => field)),
  ]);
  const mode = () => (node.querySelector(`input[name="${prefix}-mode"]:checked`)?.value === 'audio' ? 'audio' : 'video');
  // The quality is a choice for video only, the audio format for audio only, as in the queue form.
  const showQuality = () => {
    qualityField.hidden = mode() === 'audio';
    audioFormatField.hidden = !qualityField.hidden;
  };
  node.addEventListener('change', showQuality);
  showQuality();

  return {
    node,
    read() {
      const params = { mode: mode() };
      if (params.mode === 'video') params.quality = quality.value;
      else params.audio_format = audioFormat.value;
      for (const { key, input } of numbers) if (input.value.trim() !== '') params[key] = Number(input.value);
      return params;
    },
    write(subscription) {
      node.querySelector(`#${prefix}-mode-${subscription.mode === 'audio' ? 'audio' : 'video'}`).checked = true;
      if ([...quality.options].some((option) => option.value === subscription.quality)) quality.value = subscription.quality;
      if ([...audioFormat.options].some((option) => option.value === subscription.audio_format)) {
        audioFormat.value = subscription.audio_format;
      }
      for (const { key, input } of numbers) if (typeof subscription[key] === 'number') input.value = String(subscription[key]);
      showQuality();
    },
  };
}

function numberField(prefix, { key, label, unit, min, max, value, note }) {
  const id = `${prefix}-${key.replace('_', '-')}`;
  const input = el('input', { id, type: 'number', inputmode: 'numeric', step: 1, min, max, value,
    'aria-describedby': `${id}-note` });
  const field = el('div', { class: 'number-field' }, [
    el('label', { for: id, text: label }),
    el('div', { class: 'number-row' }, [input, el('span', { class: 'unit', text: unit })]),
    el('p', { id: `${id}-note`, class: 'note', text: note }),
  ]);
  return { key, input, field };
}
