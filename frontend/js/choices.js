// The choices that the forms offer for a download (format and quality), and their words on cards.

export const MODE_WORDS = { video: 'Video · MP4', audio: 'Audio · MP3' };

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

/** Fills a <select> with the qualities the server takes, "best" chosen. */
export function fillQualities(select) {
  select.replaceChildren(...QUALITIES.map(([value, label]) => new Option(label, value, value === 'best', value === 'best')));
}

/** "Video · MP4 · up to 720p", "Video · MP4" or "Audio · MP3"; "" for a mode the page does not know. */
export function modeWords(mode, quality) {
  if (!MODE_WORDS[mode]) return '';
  return MODE_WORDS[mode] + (mode === 'video' && /^\d+$/.test(quality) ? ` · up to ${quality}p` : '');
}
