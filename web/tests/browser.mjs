// Drives the page in Chromium (headless) from file://: picks files through the file
// input, presses each batch's button, reads the results list and compares it with the
// native quorvel-cli's lines, downloads the zip and compares every entry with
// quorvel-cli's outputs; times a batch of many files, stops another part-way and checks
// what the results say; checks that the page made no request beyond itself, data: and
// blob: URLs.
// Usage: node web/tests/browser.mjs QUORVEL_CLI PAGE.html SMALL_DIR MANY_DIR [SCREENSHOT.png]
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const require = createRequire(import.meta.url);
const puppeteer = require('puppeteer-core');
const fflate = require('fflate');

const [cli, pagePath, smallDir, manyDir, screenshot] = process.argv.slice(2);
if (!cli || !pagePath || !smallDir || !manyDir) {
  console.error('usage: node web/tests/browser.mjs QUORVEL_CLI PAGE.html SMALL_DIR MANY_DIR [SCREENSHOT.png]');
  process.exit(2);
}
const pageUrl = pathToFileURL(resolve(pagePath)).href;
const midiFiles = (dir) => readdirSync(dir).filter((name) => /\.(mid|kar)$/i.test(name)).sort().map((name) => resolve(dir, name));

let failures = 0;
function check(condition, message) {
  if (!condition) {
    ++failures;
    console.error('FAIL: ' + message);
  }
  return condition;
}

// Polls until test() gives a true value, or fails after the deadline.
async function until(what, test, seconds = 60) {
  const deadline = Date.now() + seconds * 1000;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > deadline) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 50));
  }
}

function native(subcommand, files) {
  const out = mkdtempSync(join(tmpdir(), 'quorvel-web-native-'));
  let stdout;
  try {
    stdout = execFileSync(cli, [subcommand, '-o', out, ...files], { encoding: 'utf8', maxBuffer: 1 << 28 });
  } catch (e) {
    stdout = e.stdout;
  }
  return { out, lines: stdout.split('\n').filter((line) => line !== '') };
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--allow-file-access-from-files'],
});
const downloads = mkdtempSync(join(tmpdir(), 'quorvel-web-downloads-'));
try {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => check(false, 'page error: ' + error.message));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.setViewport({ width: 900, height: 1000 });
  await page.goto(pageUrl);
  check((await page.title()) === 'Quorvel', 'the title is Quorvel');

  // The buttons come from the batch library once the module is loaded.
  await until('the buttons', () => page.$$eval('#buttons button', (b) => b.length === 3));
  const captions = await page.$$eval('#buttons button', (b) => b.map((x) => x.textContent));
  check(JSON.stringify(captions) === JSON.stringify(['Convert to SMF 0 (.MID)', 'Convert to SMF 1 (.MID)', 'Convert to Karaoke  (.KAR)']),
        'captions: ' + JSON.stringify(captions));

  // Pressing a button with no files: the batch library's text.
  await page.click('#buttons button');
  await until('"No Files Selected"', () => page.$eval('#status', (s) => s.textContent === 'No Files Selected'));

  async function runBatch(index) {
    const before = await page.evaluate(() => window.performance.now());
    await page.evaluate((i) => document.querySelectorAll('#buttons button')[i].click(), index);
    await until('the end of the batch', () => page.$eval('#counts', (c) => c.textContent !== ''), 300);
    const after = await page.evaluate(() => window.performance.now());
    const lines = await page.$$eval('#results li', (items) => items.map((li) => li.firstChild.textContent));
    const counts = await page.$eval('#counts', (c) => c.textContent);
    return { lines, counts, seconds: (after - before) / 1000 };
  }

  async function downloadZip() {
    for (const name of readdirSync(downloads)) rmSync(join(downloads, name));
    await page.click('#download-all');
    const name = await until('the zip', () => readdirSync(downloads).find((n) => n.endsWith('.zip')), 60);
    const path = join(downloads, name);
    // Complete once it unpacks (Chromium renames the file only when it is whole).
    return until('a whole zip', () => { try { return fflate.unzipSync(readFileSync(path)); } catch (e) { return null; } }, 30);
  }

  // Each batch over the small files, against quorvel-cli given the same files in the same order.
  const small = midiFiles(smallDir);
  const input = await page.$('#pick-files');
  await input.uploadFile(...small);
  await until('the chosen files', () => page.$eval('#chosen', (c, n) => c.textContent.startsWith(n + ' files'), small.length));
  const kinds = ['smf0', 'smf1', 'kar'];
  for (let k = 0; k < kinds.length; ++k) {
    const got = await runBatch(k);
    const expected = native(kinds[k], small);
    check(JSON.stringify(got.lines) === JSON.stringify(expected.lines),
          `${kinds[k]}: results list\n  page:   ${JSON.stringify(got.lines)}\n  native: ${JSON.stringify(expected.lines)}`);
    const outputs = readdirSync(expected.out);
    if (outputs.length > 0) {
      const zip = await downloadZip();
      check(Object.keys(zip).sort().join() === outputs.sort().join(), `${kinds[k]}: zip entries ${Object.keys(zip)} vs ${outputs}`);
      for (const name of outputs) {
        check(zip[name] && Buffer.compare(Buffer.from(zip[name]), readFileSync(join(expected.out, name))) === 0,
              `${kinds[k]}: ${name} in the zip differs from quorvel-cli's`);
      }
    }
    console.log(`${kinds[k]}: ${got.lines.length - 1} files; ${got.counts}; ${outputs.length} outputs compared`);
    if (k === 0 && screenshot) {
      await page.screenshot({ path: screenshot, fullPage: true });
    }
    rmSync(expected.out, { recursive: true, force: true });
  }

  // Many files: the whole batch timed, then the same batch stopped part-way.
  await page.click('#clear-files');
  const many = midiFiles(manyDir);
  await input.uploadFile(...many);
  await until('the many files', () => page.$eval('#chosen', (c, n) => c.textContent.startsWith(n + ' files'), many.length));
  const whole = await runBatch(0);
  check(whole.lines[whole.lines.length - 1] === 'Conversion Complete', 'the whole batch completes');
  console.log(`smf0 in the page: ${many.length} files in ${whole.seconds.toFixed(2)} s`);

  await page.evaluate(() => document.querySelectorAll('#buttons button')[0].click());
  // After about a second the progress shows with Stop.
  await until('the progress panel', () => page.$eval('#progress-panel', (p) => !p.hidden), 30);
  const progress = await page.$eval('#progress-text', (p) => p.textContent);
  check(/^\d+ of \d+ files$/.test(progress) && progress.endsWith(` of ${many.length} files`), 'progress text: ' + progress);
  await page.click('#stop');
  await until('the end of the stopped batch', () => page.$eval('#counts', (c) => c.textContent !== ''), 60);
  const stopped = await page.$$eval('#results li', (items) => items.map((li) => li.firstChild.textContent));
  const last = stopped[stopped.length - 1];
  const match = /^Stopped after (\d+) of (\d+) files$/.exec(last);
  if (check(match, 'the stopped batch ends with "Stopped after N of M files": ' + last)) {
    const done = Number(match[1]);
    check(Number(match[2]) === many.length && done > 0 && done < many.length, 'stopped part-way: ' + last);
    const notTried = stopped.filter((line) => line.endsWith(' - not tried')).length;
    check(notTried === many.length - done, `${notTried} "not tried" lines for ${many.length - done} files`);
    const counts = await page.$eval('#counts', (c) => c.textContent);
    check(counts.endsWith(`, ${many.length - done} not tried`), 'counts: ' + counts);
    console.log(`stopped: ${last}; ${counts}`);
  }
  const announced = await page.$eval('#status', (s) => s.textContent);
  check(announced.startsWith('Stopped after'), 'the status announces the stop: ' + announced);

  // Nothing but the page itself, data: and blob: URLs.
  const foreign = requests.filter((url) => url !== pageUrl && !url.startsWith('data:') && !url.startsWith('blob:'));
  check(foreign.length === 0, 'requests beyond the page: ' + foreign.slice(0, 5).join(', '));
  check(existsSync(downloads), 'downloads folder');
} finally {
  await browser.close();
  rmSync(downloads, { recursive: true, force: true });
}

if (failures > 0) {
  console.error(`${failures} checks failed`);
  process.exit(1);
}
console.log('the page in Chromium: same lines and bytes as quorvel-cli, stopped part-way, no requests');
