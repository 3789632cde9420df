// The page: choosing files, the three batches' buttons, progress, Stop and the results.
// Every rule of a batch (order, output names, texts, counts) comes from the batch
// library in the worker; this script only moves files, messages and bytes.
/* global WORKER_SOURCE, fflate */
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const PROGRESS_DELAY_MS = 1000; // a batch running longer shows its progress and Stop

  let chosen = []; // { path, inFolder, file }
  let kinds = null;
  let texts = null;
  let worker = null;
  let running = false;
  let outputs = []; // { path, bytes } of the last batch, in batch order
  let resultsText = '';
  let progressTimer = 0;
  let pendingProgress = null;
  let pendingLines = [];

  // --- the worker --------------------------------------------------------------------

  // An in-page stand-in with the worker's messages, for browsers that refuse a worker
  // from a Blob URL: the batch then runs on the page's thread.
  function inPageWorker() {
    const page = { onmessage: null };
    const scope = { onmessage: null, postMessage: (data) => setTimeout(() => page.onmessage && page.onmessage({ data }), 0) };
    // eslint-disable-next-line no-new-func
    new Function('self', WORKER_SOURCE)(scope);
    page.postMessage = (data) => setTimeout(() => scope.onmessage && scope.onmessage({ data }), 0);
    page.terminate = () => {};
    return page;
  }

  function startWorker() {
    let made = null;
    if (typeof Worker === 'function' && typeof Blob === 'function' && window.URL && URL.createObjectURL) {
      try {
        const url = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: 'text/javascript' }));
        made = new Worker(url);
      } catch (e) {
        made = null;
      }
    }
    if (!made) made = inPageWorker();
    made.onmessage = (event) => onWorkerMessage(event.data);
    if ('onerror' in made) made.onerror = () => showError('The converter could not be started in this browser.');
    return made;
  }

  function onWorkerMessage(message) {
    switch (message.type) {
      case 'ready': kinds = message.kinds; texts = message.texts; ready(); break;
      case 'plan': planned(message.total); break;
      case 'progress': pendingProgress = message; scheduleRender(); break;
      case 'file': fileDone(message); break;
      case 'end': ended(message); break;
      case 'error': showError(message.message); break;
    }
  }

  function showError(text) {
    $('loading').hidden = false;
    $('loading').textContent = 'Error: ' + text;
    if (running) finishRunning();
  }

  // --- choosing files ----------------------------------------------------------------

  function describeChosen() {
    const n = chosen.length;
    $('chosen').textContent = n === 0 ? 'No files chosen yet.' : (n === 1 ? '1 file chosen: ' + chosen[0].path : n + ' files chosen.');
  }

  function addFiles(entries) {
    chosen = chosen.concat(entries);
    describeChosen();
  }

  $('pick-files').addEventListener('change', (event) => {
    addFiles(Array.from(event.target.files, (file) => ({ path: file.name, inFolder: false, file })));
    event.target.value = '';
  });
  $('pick-folder').addEventListener('change', (event) => {
    addFiles(Array.from(event.target.files, (file) => {
      const relative = file.webkitRelativePath || file.name;
      return { path: relative, inFolder: relative.indexOf('/') > 0, file };
    }));
    event.target.value = '';
  });
  $('clear-files').addEventListener('click', () => { chosen = []; describeChosen(); });

  // Dropped folders are walked through the entry API; without it, only files come.
  function readAllEntries(reader) {
    return new Promise((resolve, reject) => {
      const all = [];
      const next = () => reader.readEntries((batch) => {
        if (batch.length === 0) resolve(all); else { all.push(...batch); next(); }
      }, reject);
      next();
    });
  }
  async function walk(entry, found) {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      const path = entry.fullPath.replace(/^\/+/, '');
      found.push({ path, inFolder: path.indexOf('/') > 0, file });
    } else if (entry.isDirectory) {
      for (const child of await readAllEntries(entry.createReader())) await walk(child, found);
    }
  }
  const zone = document.documentElement;
  zone.addEventListener('dragover', (event) => { event.preventDefault(); $('drop-zone').classList.add('over'); });
  zone.addEventListener('dragleave', (event) => { if (!event.relatedTarget) $('drop-zone').classList.remove('over'); });
  zone.addEventListener('drop', async (event) => {
    event.preventDefault();
    $('drop-zone').classList.remove('over');
    if (running) return;
    const transfer = event.dataTransfer;
    const items = transfer.items ? Array.from(transfer.items) : [];
    const entries = items.map((item) => (item.kind === 'file' && item.webkitGetAsEntry ? item.webkitGetAsEntry() : null));
    if (entries.length > 0 && entries.every((entry) => entry)) {
      const found = [];
      try {
        for (const entry of entries) await walk(entry, found);
        addFiles(found);
        return;
      } catch (e) {
        // fall back to the plain file list below
      }
    }
    addFiles(Array.from(transfer.files || [], (file) => ({ path: file.name, inFolder: false, file })));
  });

  // --- running a batch ---------------------------------------------------------------

  function ready() {
    $('loading').hidden = true;
    document.title = texts.title;
    const buttons = $('buttons');
    kinds.forEach((kind, index) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = kind.caption;
      button.accessKey = kind.mnemonic.toLowerCase();
      button.dataset.kind = kind.subcommand;
      button.addEventListener('click', () => start(index));
      buttons.appendChild(button);
    });
    $('stop').textContent = texts.stop;
    $('copy-results').textContent = texts.copy;
    $('filter-text').textContent = texts.filter.split('|').filter((part, i) => i % 2 === 1).join(', ');
  }

  function setControlsEnabled(enabled) {
    for (const id of ['pick-files', 'pick-folder', 'clear-files', 'copy-results', 'save-results', 'download-all']) $(id).disabled = !enabled;
    for (const button of $('buttons').querySelectorAll('button')) button.disabled = !enabled;
  }

  function start(kindIndex) {
    if (running) return;
    $('results-panel').hidden = false;
    $('results').textContent = '';
    $('counts').textContent = '';
    outputs = [];
    resultsText = '';
    if (chosen.length === 0) {
      $('status').textContent = texts.noFiles;
      return;
    }
    running = true;
    setControlsEnabled(false);
    $('status').textContent = '';
    $('stop').disabled = false;
    document.body.setAttribute('aria-busy', 'true');
    progressTimer = setTimeout(() => {
      $('progress-panel').hidden = false;
      renderProgress();
      $('stop').focus();
    }, PROGRESS_DELAY_MS);
    worker.postMessage({ type: 'run', kind: kindIndex, entries: chosen });
  }

  function planned(total) {
    $('progress-bar').max = Math.max(total, 1);
  }

  function scheduleRender() {
    if (scheduleRender.pending) return;
    scheduleRender.pending = true;
    const render = () => { scheduleRender.pending = false; renderProgress(); flushLines(); };
    if (document.hidden || typeof requestAnimationFrame !== 'function') setTimeout(render, 50); else requestAnimationFrame(render);
  }

  function renderProgress() {
    const p = pendingProgress;
    if (!p || $('progress-panel').hidden) return;
    $('progress-bar').value = p.done;
    $('progress-text').textContent = p.text;
    $('progress-current').textContent = p.current;
  }

  function fileDone(message) {
    let bytes = null;
    if (message.output) {
      bytes = new Uint8Array(message.output);
      outputs.push({ path: message.outputPath, bytes });
    }
    pendingLines.push({ line: message.line, kind: message.kind, path: message.outputPath, bytes });
    scheduleRender();
  }

  function baseName(path) {
    return path.slice(path.lastIndexOf('/') + 1);
  }

  function download(name, blob) {
    const url = URL.createObjectURL(blob);
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  function flushLines() {
    if (pendingLines.length === 0) return;
    const fragment = document.createDocumentFragment();
    for (const entry of pendingLines) {
      const item = document.createElement('li');
      const text = document.createElement('span');
      text.textContent = entry.line;
      item.appendChild(text);
      if (entry.bytes) {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = 'Download ' + baseName(entry.path);
        button.setAttribute('aria-label', 'Download ' + entry.path);
        const bytes = entry.bytes;
        const name = baseName(entry.path);
        button.addEventListener('click', () => download(name, new Blob([bytes], { type: 'audio/midi' })));
        item.appendChild(button);
      } else if (entry.kind !== 'converted' && entry.kind !== 'copied') {
        item.className = 'bad';
      }
      fragment.appendChild(item);
    }
    pendingLines = [];
    $('results').appendChild(fragment);
  }

  function ended(message) {
    flushLines();
    // The lines the batch added at its end: files not tried, then its last line.
    const fragment = document.createDocumentFragment();
    message.lines.slice(message.done).forEach((line, i, rest) => {
      const item = document.createElement('li');
      item.textContent = line;
      if (i === rest.length - 1) item.className = 'last';
      fragment.appendChild(item);
    });
    $('results').appendChild(fragment);
    $('counts').textContent = message.counts;
    resultsText = message.text;
    $('status').textContent = message.lines[message.lines.length - 1] + '. ' + message.counts + '.';
    finishRunning();
  }

  function finishRunning() {
    running = false;
    clearTimeout(progressTimer);
    pendingProgress = null;
    $('progress-panel').hidden = true;
    document.body.removeAttribute('aria-busy');
    setControlsEnabled(true);
    $('download-all').disabled = outputs.length === 0;
    $('results-heading').focus();
  }

  $('stop').addEventListener('click', () => {
    if (!running) return;
    $('stop').disabled = true;
    worker.postMessage({ type: 'stop' });
  });
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && running && !$('progress-panel').hidden) $('stop').click();
  });

  // --- results -----------------------------------------------------------------------

  $('copy-results').addEventListener('click', async () => {
    try {
      await navigator.clipboard.writeText(resultsText);
    } catch (e) {
      const area = document.createElement('textarea');
      area.value = resultsText;
      document.body.appendChild(area);
      area.select();
      document.execCommand('copy');
      area.remove();
    }
    $('status').textContent = 'The results were copied.';
  });
  $('save-results').addEventListener('click', () => {
    download(texts.resultsFile, new Blob([resultsText], { type: 'text/plain;charset=utf-8' }));
  });
  $('download-all').addEventListener('click', () => {
    if (outputs.length === 0) return;
    const entries = {};
    for (const output of outputs) entries[output.path] = output.bytes;
    const zipped = fflate.zipSync(entries, { level: 6 });
    download('quorvel-' + (outputs.length === 1 ? baseName(outputs[0].path).replace(/\.[^.]*$/, '') : 'outputs') + '.zip',
             new Blob([zipped], { type: 'application/zip' }));
  });

  if (typeof WebAssembly !== 'object') {
    showError('This browser does not run WebAssembly, which the converter needs.');
    return;
  }
  worker = startWorker();
})();
