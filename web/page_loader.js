// SPDX-License-Identifier: MIT
// The page's first script, put inline by the build. It sets off at once
// every fetch the first frame needs, so that they cross the network side by
// side: the program's script and module and the pictures (named by the
// build, above), all kept gzip-compressed in the site, since a plain static
// server compresses nothing. The program's script then runs as inline code,
// which the page's policy lets in by its digest alone, as it does this one.
var tollmereFetches = {};

// The bytes at path, inflated, or null when the server has not the file. A
// server that sent them with Content-Encoding has had the browser inflate
// them already, and they no longer start as gzip does.
function tollmereFetchInflated(path) {
  return fetch(path).then(function (response) {
    return response.ok ? response.arrayBuffer() : null;
  }).then(function (bytes) {
    var start = bytes && new Uint8Array(bytes, 0, Math.min(2, bytes.byteLength));
    if (!start || start.length < 2 || start[0] !== 0x1f || start[1] !== 0x8b)
      return bytes;
    var inflated = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Response(inflated).arrayBuffer();
  });
}

// The fetch of path set off here, handed over once: nothing keeps its bytes after.
function tollmereTake(path) {
  var fetching = tollmereFetches[path] || tollmereFetchInflated(path);
  delete tollmereFetches[path];
  return fetching;
}

['tollmere.wasm.gz'].concat(tollmerePictures.map(function (name) { return 'data/' + name + '.gz'; }))
  .forEach(function (path) { tollmereFetches[path] = tollmereFetchInflated(path); });

tollmereTake('tollmere.js.gz').then(function (bytes) {
  if (!bytes)
    throw new Error('tollmere.js.gz is not on the server');
  var script = document.createElement('script');
  script.textContent = new TextDecoder().decode(bytes);
  document.body.appendChild(script);
}).catch(function (error) {
  console.error('tollmere: the program cannot be loaded (' + error.message + ')');
  document.getElementById('message').textContent = 'tollmere: the program cannot be loaded (' + error.message + ')';
});
