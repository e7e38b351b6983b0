// The toast: one line of text with optional action buttons.

let toastTimer = 0;
let toastActs = [];

function hideToast() {
  clearTimeout(toastTimer);
  $toast.classList.remove('show');
}

function toast(msg, acts) {
  const list = Array.isArray(acts) ? acts : [];
  toastActs = list;
  $toast.textContent = '';
  const span = document.createElement('span');
  span.textContent = msg == null ? '' : String(msg);
  $toast.appendChild(span);
  list.forEach((a, i) => {
    if (!a || !a.label) return;
    const b = document.createElement('button');
    b.type = 'button';
    b.className = 'tact';
    b.dataset.act = i;
    b.textContent = a.label;
    $toast.appendChild(b);
  });
  $toast.classList.add('show');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(hideToast, list.length ? 5200 : 2600);
}

$toast.addEventListener('click', (e) => {
  const b = e.target.closest('.tact');
  if (!b) return;
  const a = toastActs[+b.dataset.act];
  hideToast();
  try {
    if (a && typeof a.fn === 'function') a.fn();
  } catch (err) {
    // an action that fails leaves the page as it is
  }
});
