// One modal question before anything that cannot be undone.

const dialog = document.getElementById('confirm-dialog');
const title = document.getElementById('confirm-title');
const text = document.getElementById('confirm-text');
const okButton = document.getElementById('confirm-ok');

/** Resolves true when the user confirms, false on Cancel or Escape. Focus returns to where it was. */
export function confirmAction({ heading, body, confirmLabel }) {
  const returnFocus = document.activeElement;
  title.textContent = heading;
  text.textContent = body;
  okButton.textContent = confirmLabel;
  dialog.returnValue = '';
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => {
      returnFocus?.focus?.();
      resolve(dialog.returnValue === 'ok');
    }, { once: true });
    dialog.showModal();
  });
}
