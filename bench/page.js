// What a player feels of the page. With a native Tarvix: 200 replays of 300 KiB given at once, and
// the time until the last result shows, against a page that only reads the same files (the
// browser's floor) and the native loop, one `Tarvix -s NAME.setup FILE` per replay; runs
// alternate, medians of each; exits 1 past the bar. With --largest: the largest replay the page
// summarises, from 64 MiB up to 2 GiB less 4 bytes, and what a larger one shows.
// Usage: node bench/page.js <Tarvix.html> <native Tarvix> [runs] [bar]
//        node bench/page.js <Tarvix.html> --largest
'use strict';
const {execFileSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {chromium} = require('playwright-core');

const page = path.resolve(process.argv[2]);
const largest = process.argv[3] === '--largest';
const native = largest ? null : path.resolve(process.argv[3]);
const runs = Number(process.argv[4] ?? 7);
const bar = Number(process.argv[5] ?? 1.5);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tarvix-page-'));
const makeReplay = (file, bytes) =>
  execFileSync(path.join(__dirname, 'make_replay.sh'), [file, String(bytes)]);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The time from giving the files to the page until it shows a result for each, and the last.
async function inPage(browser, file, files) {
  const tab = await browser.newPage();
  await tab.goto(`file://${file}`);
  await tab.waitForFunction(() => document.getElementById('banner')?.textContent !== '');
  const start = performance.now();
  await tab.setInputFiles('#replays', files);
  await tab.waitForFunction((n) => document.querySelectorAll('section').length >= n, files.length,
    {polling: 'raf', timeout: 0});
  const ms = performance.now() - start;
  const last = await tab.$$eval('section pre', (shown) => shown.at(-1)?.textContent ?? '');
  await tab.close();
  return {ms, last};
}

async function folder(browser) {
  makeReplay(path.join(work, 'replay.rpl'), 307200);
  const replays = Array.from({length: 200}, (_, i) => path.join(work, `stage${i + 1}.rpl`));
  replays.forEach((file) => fs.copyFileSync(path.join(work, 'replay.rpl'), file));
  const reader = path.join(work, 'reader.html');  // the floor: each file read whole in turn
  fs.writeFileSync(reader, `<!DOCTYPE html><input type="file" id="replays" multiple><main></main>
<script>document.getElementById('replays').addEventListener('change', async (event) => {
  for (const file of event.target.files) {
    const line = document.createElement('section');
    line.textContent = (await file.arrayBuffer()).byteLength;
    document.querySelector('main').append(line);
  }});</script>`);
  const loop = () => {
    const start = performance.now();
    execFileSync('bash', ['-c', 'cd "$1" && shift && for f; do "$0" -s "${f%.rpl}.setup" "$f"; ' +
      'done >/dev/null; rm -f ./*.setup', native, work, ...replays.map((f) => path.basename(f))]);
    return performance.now() - start;
  };
  const times = {page: [], reader: [], native: []};
  for (let i = 0; i < runs; ++i) {
    for (const what of i % 2 ? ['page', 'reader', 'native'] : ['native', 'reader', 'page']) {
      times[what].push(what === 'native' ? loop()
        : (await inPage(browser, what === 'page' ? page : reader, replays)).ms);
    }
  }
  const [p, r, n] = ['page', 'reader', 'native'].map((what) => median(times[what]));
  console.log(`200 replays of 300 KiB, medians of ${runs}: page ${p.toFixed(0)} ms, reading page ` +
    `${r.toFixed(0)} ms, native loop ${n.toFixed(0)} ms; page over reading ${(p / r).toFixed(2)} ` +
    `(bar: ${bar} or less), over native ${(p / n).toFixed(2)}`);
  return p / r <= bar;
}

async function largestReplay(browser) {
  let summarised = 0;
  for (const mib of [64, 256, 1024, 1536, 1792, 2048]) {
    const big = path.join(work, 'big.rpl');
    const bytes = Math.min(mib * 2 ** 20, 2 ** 31 - 4);
    makeReplay(big, bytes);
    const {ms, last} = await inPage(browser, page, [big]);
    fs.unlinkSync(big);
    console.log(`${(bytes / 2 ** 20).toFixed(0)} MiB: ${ms.toFixed(0)} ms, ${last.split('\n').at(-1)}`);
    summarised = last.includes('Stage time') ? bytes : summarised;
  }
  console.log(`largest replay the page summarised: ${(summarised / 2 ** 20).toFixed(0)} MiB`);
  return true;
}

(async () => {
  const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: ['--no-sandbox',
    '--disable-gpu', '--disable-background-networking', '--disable-component-update']});
  const passed = await (largest ? largestReplay(browser) : folder(browser));
  await browser.close();
  fs.rmSync(work, {recursive: true});
  process.exit(passed ? 0 : 1);
})();
