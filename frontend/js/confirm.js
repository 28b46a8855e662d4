// One modal question before anything that cannot be undone.

const dialog = document.getElementById('confirm-dialog');
const title = document.getElementById('confirm-title');
const text = document.getElementById('confirm-text');
const okButton = document.getElementById('confirm-ok');
const optionLabel = document.getElementById('confirm-option');
const optionBox = document.getElementById('confirm-option-box');
const optionText = document.getElementById('confirm-option-text');

/** Resolves true when the user confirms, false on Cancel or Escape. Focus returns to where it was. */
export async function confirmAction(question) {
  return await ask(question, '') !== null;
}

/**
 * The same question with a box to tick, `option` its text, unticked at first. Resolves null on
 * Cancel or Escape, otherwise whether the box was ticked.
 */
export function confirmWithOption({ option, ...question }) {
  return ask(question, option);
}

function ask({ heading, body, confirmLabel }, option) {
  const returnFocus = document.activeElement;
  title.textContent = heading;
  text.textContent = body;
  okButton.textContent = confirmLabel;
  optionLabel.hidden = option === '';
  optionText.textContent = option;
  optionBox.checked = false;
  dialog.returnValue = '';
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => {
      returnFocus?.focus?.();
      resolve(dialog.returnValue === 'ok' ? optionBox.checked : null);
    }, { once: true });
    dialog.showModal();
  });
}
