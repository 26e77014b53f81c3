// SPDX-License-Identifier: MIT
// Runs before the viewer's main: fetches the seven pictures into data/ of
// the virtual file system (a picture the server does not give is simply not
// there, and the viewer's own reader says so), routes the viewer's output to
// the console and to the page, and keeps the context menu off the canvas.
Module['tollmereEnded'] = false;

Module['preRun'] = (Module['preRun'] || []).concat(function () {
  FS.mkdir('/data');
  ['Rear', 'Left', 'Right', 'Forward', 'skyme', 'brick', 'sign'].forEach(function (name) {
    var path = 'data/' + name + '.tga';
    addRunDependency(path);
    fetch(path)
      .then(function (response) { return response.ok ? response.arrayBuffer() : null; })
      .then(function (bytes) { if (bytes) FS.writeFile('/' + path, new Uint8Array(bytes)); },
            function () {})
      .then(function () { removeRunDependency(path); });
  });
});

function tollmereShow(line) {
  var message = document.getElementById('message');
  if (message && line.trim())
    message.textContent += (message.textContent ? '\n' : '') + line;
}

Module['print'] = function (line) { console.log(line); tollmereShow(line); };
Module['printErr'] = function (line) { console.error(line); tollmereShow(line); };

// exit() ends here: the page stops drawing (the frame loop sees it too).
Module['quit'] = function (status, toThrow) {
  Module['tollmereEnded'] = true;
  throw toThrow;
};

document.getElementById('canvas').addEventListener('contextmenu', function (event) {
  event.preventDefault();
});

// Pictures a person chooses or drops on the page: read here, never sent
// anywhere. One file at a time, so that only one file's bytes are held;
// the viewer's C++ decides what becomes of each.
function tollmereTakePictures(files) {
  if (!Module['tollmerePicturesReady'] || Module['tollmereEnded'])
    return;
  var message = document.getElementById('message');
  if (message)
    message.textContent = '';
  var left = Array.prototype.slice.call(files);
  var next = function () {
    var file = left.shift();
    if (!file) {
      Module.ccall('tollmere_pictures_read', null, [], []);
      return;
    }
    if (!Module.ccall('tollmere_may_read_picture', 'number', ['string', 'number'], [file.name, file.size])) {
      next();
      return;
    }
    file.arrayBuffer().then(function (bytes) {
      var path = '/tmp/chosen.tga';
      FS.writeFile(path, new Uint8Array(bytes), { canOwn: true });
      bytes = null;
      Module.ccall('tollmere_take_picture', null, ['string', 'string'], [file.name, path]);
    }, function (error) {
      Module['printErr']('tollmere: ' + file.name + ': cannot be read (' + error + ')');
    }).then(next);
  };
  next();
}

document.getElementById('pictures').addEventListener('change', function (event) {
  tollmereTakePictures(event.target.files);
  event.target.value = '';
});

document.addEventListener('dragover', function (event) {
  event.preventDefault();
});

document.addEventListener('drop', function (event) {
  event.preventDefault();
  tollmereTakePictures(event.dataTransfer.files);
});
