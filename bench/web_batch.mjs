// Converts every file of a folder with the web page's module, as the page's worker does
// (each file read, then converted, one at a time), and writes each output into OUT as
// the page's downloads would, so that the page's engine can be timed against
// quorvel-cli -j 1 as a whole process. Prints the results' counts.
// Usage: node bench/web_batch.mjs MODULE.js smf0|smf1|kar DIR OUT
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { basename, join, resolve } from 'node:path';

const [modulePath, subcommand, dir, out] = process.argv.slice(2);
if (!modulePath || !subcommand || !dir || !out) {
  console.error('usage: node bench/web_batch.mjs MODULE.js smf0|smf1|kar DIR OUT');
  process.exit(2);
}
const m = await createRequire(import.meta.url)(resolve(modulePath))();
const kinds = m.kinds();
let kind = -1;
for (let k = 0; k < kinds.length; ++k) if (kinds[k].subcommand === subcommand) kind = k;
if (kind < 0) {
  console.error(`no batch ${subcommand}`);
  process.exit(2);
}
const names = readdirSync(dir).sort();
const batch = new m.WebBatch(kind, names.map((name) => basename(resolve(dir)) + '/' + name), names.map(() => true));
let written = 0;
for (let i = 0; i < batch.size(); ++i) {
  const result = batch.convert(i, batch.decided(i) ? null : readFileSync(join(dir, names[batch.input(i)])));
  if (result.output) {
    writeFileSync(join(out, batch.outputPath(i)), result.output);
    ++written;
  }
}
batch.finish();
console.log(`${batch.countsText()}; ${written} outputs written`);
batch.delete();
