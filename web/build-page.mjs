// Writes the page: web/page.html with its style, fflate, the worker (the Emscripten
// module followed by web/worker.js) and the page's script inlined, so that the one file
// works from file:// and fetches nothing.
// Usage: node web/build-page.mjs VERSION MODULE.js OUT.html
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [version, modulePath, outPath] = process.argv.slice(2);
if (!version || !modulePath || !outPath) {
  console.error('usage: node web/build-page.mjs VERSION MODULE.js OUT.html');
  process.exit(2);
}
const here = dirname(fileURLToPath(import.meta.url));
const read = (path) => readFileSync(path, 'utf8');

// Inline script must not close its own element.
function inlineScript(code, what) {
  if (/<\/script/i.test(code)) throw new Error(`${what} contains "</script"`);
  return code;
}

const workerSource = read(modulePath) + '\n' + read(join(here, 'worker.js'));
// A string literal in which no "<" can end the script element.
const workerLiteral = JSON.stringify(workerSource).replace(/</g, '\\u003c');

const pieces = {
  '/*STYLE*/': read(join(here, 'page.css')),
  '/*FFLATE*/': inlineScript(read(join(here, 'node_modules/fflate/umd/index.js')), 'fflate'),
  '/*WORKER_SOURCE*/': workerLiteral,
  '/*PAGE*/': inlineScript(read(join(here, 'page.js')), 'page.js'),
};
let page = read(join(here, 'page.html'));
for (const [mark, text] of Object.entries(pieces)) {
  const at = page.indexOf(mark);
  if (at < 0) throw new Error(`page.html has no ${mark}`);
  page = page.slice(0, at) + text + page.slice(at + mark.length);
}
page = page.replace('<meta name="color-scheme"', `<meta name="generator" content="Quorvel ${version}">\n<meta name="color-scheme"`);
writeFileSync(outPath, page);
