// The choices that the forms offer for a download (format, quality, audio format), and their words on cards.

export const MODE_WORDS = { video: 'Video · MP4', audio: 'Audio' };
const AUDIO_FORMAT_WORDS = { mp3: 'MP3', m4a: 'M4A', opus: 'Opus', flac: 'FLAC' };

const QUALITIES = [
  ['best', 'Best available'],
  ['2160', 'Up to 2160p (4K)'],
  ['1440', 'Up to 1440p'],
  ['1080', 'Up to 1080p (Full HD)'],
  ['720', 'Up to 720p (HD)'],
  ['480', 'Up to 480p'],
  ['360', 'Up to 360p'],
  ['240', 'Up to 240p'],
  ['144', 'Up to 144p'],
];

const AUDIO_FORMATS = [
  ['mp3', 'MP3'],
  ['m4a', 'M4A (AAC)'],
  ['opus', 'Opus'],
  ['flac', 'FLAC (lossless)'],
];

/** Fills a <select> with `choices` ([value, label] pairs), the first chosen. */
function fill(select, choices) {
  select.replaceChildren(...choices.map(([value, label], index) => new Option(label, value, index === 0, index === 0)));
}

/** Fills a <select> with the qualities the server takes, "best" chosen. */
export function fillQualities(select) {
  fill(select, QUALITIES);
}

/** Fills a <select> with the audio formats the server takes, "mp3" chosen. */
export function fillAudioFormats(select) {
  fill(select, AUDIO_FORMATS);
}

/**
 * "Video · MP4 · up to 720p", "Video · MP4", "Audio · MP3" or "Audio · Opus"; "" for a mode the page
 * does not know. Sound without an audio format (of an earlier version) is MP3.
 */
export function modeWords(mode, quality, audioFormat) {
  if (mode === 'audio') return `${MODE_WORDS.audio} · ${AUDIO_FORMAT_WORDS[audioFormat] ?? 'MP3'}`;
  if (!MODE_WORDS[mode]) return '';
  return MODE_WORDS[mode] + (mode === 'video' && /^\d+$/.test(quality) ? ` · up to ${quality}p` : '');
}
