// zuninput-web's one script. Everything works without it but two things:
// a page with a waiting or importing entry reloads every 15 s while its tab
// is visible (never while hidden), and a file above the limit is refused
// in the page before it is sent.
(function () {
  'use strict';
  var live = document.querySelector('meta[name="zun-refresh"]');
  var timer = null;
  function arm() {
    if (timer !== null) clearTimeout(timer);
    timer = null;
    if (live && document.visibilityState === 'visible') {
      timer = setTimeout(function () { location.reload(); }, 15000);
    }
  }
  document.addEventListener('visibilitychange', arm);
  arm();

  var input = document.querySelector('input[type="file"][data-max]');
  if (!input) return;
  var note = document.getElementById('size-note');
  var original = note ? note.textContent : '';
  input.addEventListener('change', function () {
    var max = Number(input.getAttribute('data-max'));
    var f = input.files && input.files[0];
    if (f && f.size > max) {
      var text = 'This file has ' + f.size + ' bytes; at most ' + max + ' are taken.';
      input.setCustomValidity(text);
      if (note) { note.textContent = text; note.className = 'error'; }
    } else {
      input.setCustomValidity('');
      if (note) { note.textContent = original; note.className = 'note'; }
    }
  });
})();
