// SPDX-License-Identifier: MIT
// The picture reader's Worker: each message brings one chosen File, which is
// mounted (WORKERFS reads it piece by piece as the reader asks) and read;
// the answer is the reader's message, or the picture as kept.
Module['noInitialRun'] = true;
var tollmereJobs = [];
var tollmereReady = false;

// WORKERFS reads the File afresh for every read the reader makes, some
// milliseconds each: a large picture's rows, a few kB at a time, took most of
// a minute. The File is read here in pieces of 1 MB instead, one held at a time.
var tollmerePieceBytes = 1 << 20;

function tollmereReadInPieces(node) {
  var piece = null, pieceStart = 0;
  var ops = Object.assign({}, node.stream_ops);
  ops.read = function (stream, buffer, offset, length, position) {
    var file = stream.node.contents, done = 0;
    length = Math.max(0, Math.min(length, file.size - position));
    while (done < length) {
      var at = position + done;
      if (!piece || at < pieceStart || at >= pieceStart + piece.length) {
        pieceStart = at - at % tollmerePieceBytes;
        piece = new Uint8Array(WORKERFS.reader.readAsArrayBuffer(
            file.slice(pieceStart, pieceStart + tollmerePieceBytes)));
      }
      var n = Math.min(length - done, pieceStart + piece.length - at);
      buffer.set(piece.subarray(at - pieceStart, at - pieceStart + n), offset + done);
      done += n;
    }
    return done;
  };
  node.stream_ops = ops;
}

function tollmereRead(job) {
  FS.mkdir('/chosen');
  FS.mount(WORKERFS, { blobs: [{ name: 'picture', data: job.file }] }, '/chosen');
  tollmereReadInPieces(FS.lookupPath('/chosen/picture').node);
  var message = Module.ccall('tollmere_read_chosen', 'string', ['string', 'string', 'number'],
                             [job.name, '/chosen/picture', job.maxTextureSize]);
  FS.unmount('/chosen');
  FS.rmdir('/chosen');
  var kept = null;
  if (!message) {
    kept = FS.readFile('/kept/' + job.name);
    FS.unlink('/kept/' + job.name);
  }
  postMessage({ message: message, kept: kept }, kept ? [kept.buffer] : []);
}

Module['onRuntimeInitialized'] = function () {
  tollmereReady = true;
  tollmereJobs.splice(0).forEach(tollmereRead);
};

self.onmessage = function (event) {
  if (tollmereReady)
    tollmereRead(event.data);
  else
    tollmereJobs.push(event.data);
};
