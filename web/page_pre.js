// SPDX-License-Identifier: MIT
// Runs before the viewer's main, after page_loader.js has set off the
// fetches: puts the pictures into data/ of the virtual file system (a
// picture the server does not give is simply not there, and the viewer's
// own reader says so), routes the viewer's output to the console and to the
// page, and keeps the context menu off the canvas.
Module['tollmereEnded'] = false;

Module['instantiateWasm'] = function (imports, receive) {
  tollmereTake('tollmere.wasm.gz').then(function (bytes) {
    if (!bytes)
      throw new Error('tollmere.wasm.gz is not on the server');
    return WebAssembly.instantiate(bytes, imports);
  }).then(function (made) {
    receive(made.instance, made.module);
  }, function (error) {
    Module['printErr']('tollmere: the program cannot be loaded (' + error.message + ')');
  });
  return {};
};

Module['preRun'] = (Module['preRun'] || []).concat(function () {
  FS.mkdir('/data');
  var loaded = 0;
  tollmereShowLoading(loaded, tollmerePictures.length);
  tollmerePictures.forEach(function (name) {
    var path = 'data/' + name;
    addRunDependency(path);
    tollmereTake(path + '.gz')
      .then(function (bytes) { if (bytes) FS.writeFile('/' + path, new Uint8Array(bytes)); },
            function () {})
      .then(function () {
        tollmereShowLoading(++loaded, tollmerePictures.length);
        removeRunDependency(path);
      });
  });
});

// While the pictures load, the canvas counts them; once all have come (or
// could not be had) the notice goes.
function tollmereShowLoading(loaded, total) {
  var notice = document.getElementById('loading');
  notice.textContent = 'Loading the pictures: ' + loaded + ' of ' + total;
  notice.hidden = loaded >= total;
}

// The page's files kept for a reload without the network (sw.js), asked
// for once the program and the pictures are in, so as not to slow them.
Module['onRuntimeInitialized'] = function () {
  if ('serviceWorker' in navigator)
    navigator.serviceWorker.register('sw.js').catch(function () {});
};

function tollmereShow(line) {
  var message = document.getElementById('message');
  if (message && line.trim())
    message.textContent += (message.textContent ? '\n' : '') + line;
}

Module['print'] = function (line) { console.log(line); tollmereShow(line); };
Module['printErr'] = function (line) { console.error(line); tollmereShow(line); };

document.getElementById('canvas').addEventListener('contextmenu', function (event) {
  event.preventDefault();
});

// Pictures a person chooses or drops on the page: read here, never sent
// anywhere. One file at a time, by the picture reader's Worker, which reads
// only the bytes the reader asks for and hands back what it keeps (at most
// 1024 on a side); the viewer's C++ decides what becomes of each.
function tollmereTakePictures(files) {
  if (!Module['tollmereStarted'] || Module['tollmereEnded'])
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
    if (!Module.ccall('tollmere_may_read_picture', 'number', ['string'], [file.name])) {
      next();
      return;
    }
    // A Worker for each file, ended once it answers: what it read goes with it.
    var reader = new Worker('tollmere_picture_reader.js');
    var answered = function (refusal, kept) {
      reader.terminate();
      if (refusal) {
        Module.ccall('tollmere_refuse_picture', null, ['string'], [refusal]);
      } else {
        var path = '/tmp/chosen.tga';
        FS.writeFile(path, kept, { canOwn: true });
        Module.ccall('tollmere_take_picture', null, ['string', 'string'], [file.name, path]);
      }
      next();
    };
    reader.onmessage = function (event) {
      answered(event.data.message, event.data.kept);
    };
    reader.onerror = function (event) {
      event.preventDefault();
      answered('tollmere: ' + file.name + ': cannot be read (' + (event.message || 'the reader failed') + ')');
    };
    reader.postMessage({ name: file.name, file: file,
                         maxTextureSize: Module.ccall('tollmere_max_texture_size', 'number', [], []) });
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
