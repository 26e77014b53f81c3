// SPDX-License-Identifier: MIT
// The browser APIs the page's C++ needs and cannot reach itself. Strings go
// byte by byte: the page's title and address are plain ASCII.
mergeInto(LibraryManager.library, {
  tollmere_set_title: function (title) {
    var text = '';
    for (var i = title; HEAPU8[i]; ++i) text += String.fromCharCode(HEAPU8[i]);
    document.title = text;
  },

  tollmere_location_hash: function (buffer, size) {
    var hash = window.location.hash;
    var n = Math.min(hash.length, size - 1);
    for (var i = 0; i < n; ++i) HEAPU8[buffer + i] = hash.charCodeAt(i) & 0x7f;
    HEAPU8[buffer + n] = 0;
    return n;
  },

  // A stopped camera's step in the address, so that the view can be sent;
  // a negative one takes the step off while the camera circles.
  tollmere_link_steps__deps: ['$tollmereShowCamera'],
  tollmere_link_steps: function (steps) {
    var address = window.location.pathname + window.location.search;
    history.replaceState(history.state, '', steps < 0 ? address : address + '#steps=' + steps);
    tollmereShowCamera(steps);
  },

  // The start/stop button and the live region follow the camera: a screen
  // reader hears that it circles, or where it stopped, with the link.
  $tollmereShowCamera: function (steps) {
    document.getElementById('camera').setAttribute('aria-pressed', steps < 0 ? 'true' : 'false');
    var status = document.getElementById('status');
    if (steps < 0) {
      status.textContent = 'The camera circles the scene.';
      return;
    }
    var link = document.createElement('a');
    link.href = window.location.href;
    link.textContent = 'link to this view';
    status.textContent = 'The camera stopped at step ' + steps + ': ';
    status.appendChild(link);
  },

  // The drawing buffer follows the canvas's CSS size and the device pixel
  // ratio: a ratio changed alone (zoom, a window moved to another screen)
  // leaves the CSS box as it was, so the ratio is watched too. The canvas
  // goes full screen with its controls, as large as the screen allows.
  tollmere_watch_canvas: function () {
    var resized = function () { Module['_tollmere_canvas_resized'](); };
    new ResizeObserver(resized).observe(document.getElementById('canvas'));
    var watchRatio = function () {
      matchMedia('(resolution: ' + window.devicePixelRatio + 'dppx)')
        .addEventListener('change', function () { resized(); watchRatio(); }, { once: true });
    };
    watchRatio();
    var stage = document.getElementById('stage');
    var control = document.getElementById('fullscreen');
    if (!stage.requestFullscreen)
      return;
    control.hidden = false;
    control.addEventListener('click', function () {
      if (document.fullscreenElement)
        document.exitFullscreen();
      else
        stage.requestFullscreen();
    });
    document.addEventListener('fullscreenchange', function () {
      control.setAttribute('aria-pressed', document.fullscreenElement ? 'true' : 'false');
    });
  },

  $tollmereAscii: function (text) {
    var out = '';
    for (var i = text; HEAPU8[i]; ++i) out += String.fromCharCode(HEAPU8[i]);
    return out;
  },

  tollmere_list_picture__deps: ['$tollmereAscii'],
  tollmere_list_picture: function (file, surface) {
    var item = document.createElement('li');
    var name = document.createElement('code');
    name.textContent = tollmereAscii(file);
    item.appendChild(name);
    item.appendChild(document.createTextNode(' ' + tollmereAscii(surface)));
    document.getElementById('surfaces').appendChild(item);
  },

  // The viewer runs: its exports may be called, and pictures chosen; the
  // canvas's fallback text goes, or a screen reader would read it over the
  // scene.
  tollmere_started: function () {
    Module['tollmereStarted'] = true;
    document.getElementById('pictures').disabled = false;
    document.getElementById('pictures-wait').hidden = true;
    document.getElementById('canvas').textContent = '';
  },

  // The viewer has ended: chosen pictures are no longer taken.
  tollmere_ended: function () {
    Module['tollmereEnded'] = true;
  },
});
