// The Library section's example: the name that the file-name template gives a typical download,
// shown while the template is typed, so that a template reads as the names it makes.

const EXAMPLE = {
  title: 'Morning birdsong',
  uploader: 'Garden Channel',
  video_id: 'dQw4w9WgXcQ',
  pelko_id: '1XBszo',
  upload_date: '2024-03-05',
  year: '2024',
  playlist: 'Spring',
  playlist_index: '3',
  subscription: 'Garden',
  mode: 'video',
  ext: 'mp4',
};

const input = document.getElementById('setting-library-template');
const shown = document.getElementById('library-template-example');

/** "For example: …", or which field the server does not know. */
export function exampleName(template) {
  let unknown = null;
  const name = template.replace(/\{([^{}]*)\}/g, (whole, field) => {
    if (Object.hasOwn(EXAMPLE, field)) return EXAMPLE[field];
    unknown ??= whole;
    return whole;
  });
  return unknown === null ? `For example: ${name}` : `${unknown} is not a field the server knows.`;
}

/** Shows the example of the template in the field now (after the form was filled). */
export function showLibraryExample() {
  shown.textContent = exampleName(input.value);
}

export function initLibraryExample() {
  input.addEventListener('input', showLibraryExample);
}
