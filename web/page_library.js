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

  tollmere_mark_ended: function () {
    Module['tollmereEnded'] = true;
  },
});
