// The page's conversion worker. The page builds its source as the Emscripten module
// (QuorvelModule) followed by this file, and runs it as a Web Worker from a Blob URL (or,
// where workers are unavailable, in the page itself with the same messages).
//
// In:  { type: 'run', kind, entries: [{ path, inFolder, file }] }, { type: 'stop' }
// Out: { type: 'ready', kinds, texts } once the module is loaded;
//      { type: 'plan', total } after the batch is planned;
//      { type: 'progress', done, total, current, text } before each file (text: "3 of 10 files");
//      { type: 'file', index, line, kind, outputPath, output } after each file
//        (output: an ArrayBuffer, transferred, or null);
//      { type: 'end', lines, counts, text, done, total } when the batch has ended;
//      { type: 'error', message } when the module fails.
/* global QuorvelModule */
(function (scope) {
  'use strict';
  let module = null;
  let stopRequested = false;
  let running = false;
  const READ_AHEAD_BYTES = 32 * 1024 * 1024;
  const PROGRESS_INTERVAL_MS = 100;

  function post(message, transfer) {
    scope.postMessage(message, transfer || []);
  }

  async function run(kind, entries) {
    running = true;
    stopRequested = false;
    const progressPattern = module.texts().progress;
    const batch = new module.WebBatch(kind, entries.map((e) => e.path), entries.map((e) => !!e.inFolder));
    try {
      const total = batch.size();
      post({ type: 'plan', total });
      // Reads run ahead of the conversions (a few files, a bounded number of bytes), so
      // that the browser's file reading overlaps the converting.
      const reads = new Map();
      let readAhead = 0;
      let readBytes = 0;
      const readNext = () => {
        while (readAhead < total && (readAhead - i < 2 || (reads.size < 16 && readBytes < READ_AHEAD_BYTES))) {
          const index = readAhead++;
          if (batch.decided(index)) continue;
          const file = entries[batch.input(index)].file;
          if (!batch.fits(file.size)) continue;
          readBytes += file.size;
          // null: more than the browser can hold, or unreadable
          reads.set(index, file.arrayBuffer().then((buffer) => new Uint8Array(buffer), () => null));
        }
      };
      let i = 0;
      let lastProgress = 0;
      for (; i < total; ++i) {
        if (stopRequested) break;
        const now = Date.now();
        if (i === 0 || now - lastProgress >= PROGRESS_INTERVAL_MS) {
          lastProgress = now;
          post({ type: 'progress', done: i, total, current: batch.shownName(i),
                 text: module.format(progressPattern, String(i), String(total)) });
        }
        readNext();
        let result;
        if (batch.decided(i)) {
          result = batch.convert(i, null);
          // Lets a Stop in: a file that is read gives way to messages anyway.
          if (i % 64 === 63) await new Promise((resolve) => setTimeout(resolve, 0));
        } else {
          const read = reads.get(i);
          const bytes = read ? await read : null;
          if (read) {
            reads.delete(i);
            readBytes -= entries[batch.input(i)].file.size;
          }
          result = bytes ? batch.convert(i, bytes) : batch.notHeld(i);
        }
        const output = result.output ? result.output.buffer : null;
        post({ type: 'file', index: i, line: result.line, kind: result.kind, outputPath: batch.outputPath(i), output },
             output ? [output] : []);
      }
      batch.finish();
      post({ type: 'end', lines: batch.lines(), counts: batch.countsText(), text: batch.resultsText(),
             done: batch.done(), total });
    } finally {
      batch.delete();
      running = false;
    }
  }

  scope.onmessage = (event) => {
    const message = event.data;
    if (message.type === 'stop') {
      stopRequested = true;
    } else if (message.type === 'run' && module && !running) {
      run(message.kind, message.entries).catch((e) => post({ type: 'error', message: String(e && e.message || e) }));
    }
  };

  QuorvelModule().then((loaded) => {
    module = loaded;
    post({ type: 'ready', kinds: module.kinds(), texts: module.texts() });
  }, (e) => post({ type: 'error', message: String(e && e.message || e) }));
})(typeof self !== 'undefined' ? self : this);
