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
  tollmere_link_steps: function (steps) {
    var address = window.location.pathname + window.location.search;
    history.replaceState(history.state, '', steps < 0 ? address : address + '#steps=' + steps);
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

  // The viewer runs: its exports may be called, and pictures chosen.
  tollmere_started: function () {
    Module['tollmereStarted'] = true;
    document.getElementById('pictures').disabled = false;
  },
});
