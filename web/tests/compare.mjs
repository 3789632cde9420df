// Converts folders with the page's module, as the page does (each folder chosen whole,
// its files given in a shuffled order), and with the native quorvel-cli -r, for each
// batch, and checks that both give the same lines (each file's, then the last) and the
// same output files, byte for byte.
// Usage: node web/tests/compare.mjs QUORVEL_CLI MODULE.js DIR...
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, join, relative, resolve } from 'node:path';

const [cli, modulePath, ...dirs] = process.argv.slice(2);
if (!cli || !modulePath || dirs.length === 0) {
  console.error('usage: node web/tests/compare.mjs QUORVEL_CLI MODULE.js DIR...');
  process.exit(2);
}
const QuorvelModule = createRequire(import.meta.url)(resolve(modulePath));
const m = await QuorvelModule();

function filesBelow(dir) {
  const found = [];
  for (const name of readdirSync(dir)) {
    const path = join(dir, name);
    if (statSync(path).isDirectory()) found.push(...filesBelow(path));
    else found.push(path);
  }
  return found;
}

// A fixed shuffle, so that a failure can be run again.
function shuffled(items, seed) {
  const copy = items.slice();
  for (let i = copy.length - 1; i > 0; --i) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const j = seed % (i + 1);
    [copy[i], copy[j]] = [copy[j], copy[i]];
  }
  return copy;
}

let failures = 0;
function fail(message) {
  ++failures;
  if (failures <= 20) console.error('FAIL: ' + message);
}

const entries = [];
dirs.forEach((dir, d) => {
  for (const path of shuffled(filesBelow(dir), d + 7)) {
    entries.push({ path: basename(resolve(dir)) + '/' + relative(dir, path).split('\\').join('/'), inFolder: true, disk: path });
  }
});

const kinds = m.kinds();
let compared = 0;
for (let k = 0; k < kinds.length; ++k) {
  const kind = kinds[k];
  const out = mkdtempSync(join(tmpdir(), 'quorvel-web-compare-'));
  let native;
  try {
    native = execFileSync(cli, [kind.subcommand, '-r', '-o', out, ...dirs], { encoding: 'utf8', maxBuffer: 1 << 28 });
  } catch (e) {
    native = e.stdout; // status 1: some files were not converted
  }
  const nativeLines = native.split('\n').filter((line) => line !== '');

  const started = process.hrtime.bigint();
  const batch = new m.WebBatch(k, entries.map((e) => e.path), entries.map((e) => e.inFolder));
  const outputs = new Map();
  for (let i = 0; i < batch.size(); ++i) {
    const result = batch.convert(i, batch.decided(i) ? null : readFileSync(entries[batch.input(i)].disk));
    if (result.output) {
      if (outputs.has(batch.outputPath(i))) fail(`${kind.subcommand}: two outputs at ${batch.outputPath(i)}`);
      outputs.set(batch.outputPath(i), result.output);
    } else if (result.succeeded) {
      fail(`${kind.subcommand}: ${result.line}: no output bytes`);
    }
  }
  batch.finish();
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  const lines = batch.lines();
  const counts = batch.countsText();
  const text = batch.resultsText();
  batch.delete();

  if (lines.length !== nativeLines.length) fail(`${kind.subcommand}: ${lines.length} lines, quorvel-cli gave ${nativeLines.length}`);
  for (let i = 0; i < Math.max(lines.length, nativeLines.length); ++i) {
    if (lines[i] !== nativeLines[i]) fail(`${kind.subcommand}: line ${i + 1}: "${lines[i]}", quorvel-cli: "${nativeLines[i]}"`);
  }
  if (text !== lines.join('\n') + '\n' + counts + '\n') fail(`${kind.subcommand}: the results text is not the lines and the counts`);

  const nativeFiles = filesBelow(out).map((path) => relative(out, path));
  if (nativeFiles.length !== outputs.size) fail(`${kind.subcommand}: ${outputs.size} outputs, quorvel-cli wrote ${nativeFiles.length}`);
  for (const path of nativeFiles) {
    const mine = outputs.get(path);
    if (!mine) fail(`${kind.subcommand}: no output ${path}`);
    else if (Buffer.compare(Buffer.from(mine), readFileSync(join(out, path))) !== 0) fail(`${kind.subcommand}: ${path} differs`);
    else ++compared;
  }
  rmSync(out, { recursive: true, force: true });
  console.log(`${kind.subcommand}: ${lines.length - 1} files, ${outputs.size} outputs; ${counts}; ${seconds.toFixed(2)} s in the module`);
}

if (failures > 0) {
  console.error(`${failures} differences from quorvel-cli`);
  process.exit(1);
}
console.log(`same lines and bytes as quorvel-cli: ${compared} outputs compared`);
