// The page in headless Chromium as a player uses it. Usage: node page_test.js <path>/Tarvix.html
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const chromium = '/usr/bin/chromium';
const driver = path.join(__dirname, '../../node_modules/playwright-core');
const missing = [[chromium, 'Debian: chromium'], [driver, 'npm ci at the root']].find(
  ([file]) => !fs.existsSync(file));
if (missing) {
  console.log(`skipped: needs ${missing[0]} (${missing[1]})`);
  process.exit(77);
}

// Synthetic replays: the sample, with a profile name of its own or cut short; what the page must
// show of each, and its heading where that is not its name. The last three are dropped.
const sample = fs.readFileSync(path.join(__dirname, '../../samples/sample.rpl'));
const named = (name) => Buffer.concat([sample.subarray(0, 12),
  Buffer.from(name.padEnd(16, '\0'), 'latin1'), sample.subarray(28)]);
const times = 'Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n' +
  'Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n';
const summary = (name, end) => `Profile name: ${name}\n${times}${end}`;
const replays = [
  ['stage.rpl', sample, summary('Driver1', 'Setup written to stage.setup')],
  ['damaged.rpl', sample.subarray(0, 372),
    summary('Driver1', 'Car setup truncated (4 of 37 bytes present)')],
  ['empty.rpl', Buffer.alloc(0), 'Not a replay file'],
  ['<img src=x onerror=z()>.RPL', named('<svg/onload=z()>'),
    summary('<svg/onload=z()>', 'Setup written to <img src=x onerror=z()>.setup')],
  ['short\x1b]0;x\x07', sample.subarray(0, 64), 'Not a replay file', 'short?]0;x?'],
  ['-s', sample, summary('Driver1', 'Setup written to -s.setup')],
  ['jörg.rpl', named('J\xf6rg\x80\x81\x1b[2J'),
    summary('Jörg€??[2J', 'Setup written to jörg.setup')],
];

(async () => {
  const browser = await require(driver).chromium.launch({executablePath: chromium,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking']});
  const page = await browser.newPage();
  const [requests, errors] = [[], []];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(`file://${path.resolve(process.argv[2])}`);
  await page.waitForFunction(() => document.getElementById('banner').textContent);
  assert.match(await page.textContent('#banner'), /^Tarvix v\d+\.\d+ /);

  await page.setInputFiles('#replays',
    replays.slice(0, 4).map(([name, buffer]) => ({name, mimeType: '', buffer})));
  await page.evaluate((dropped) => {
    const transfer = new DataTransfer();
    dropped.forEach(([name, bytes]) => transfer.items.add(new File([new Uint8Array(bytes)], name)));
    document.body.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true}));
  }, replays.slice(4).map(([name, buffer]) => [name, [...buffer]]));
  await page.waitForFunction(() => document.querySelectorAll('section').length === 7);
  const shown = await page.$$eval('section', (sections) => sections.map((section) => [
    section.dataset.file, section.querySelector('h2').textContent,
    section.querySelector('pre').textContent, section.querySelector('a')?.download]));
  replays.forEach(([name, , expected, heading], i) => assert.deepEqual(shown[i], [name,
    heading ?? name, expected, expected.match(/Setup written to (.*)/)?.[1]], `${name} shown`));
  assert.equal(await page.textContent('#progress'), '7 of 7 replays');
  assert.equal(await page.$$eval('svg, img', (found) => found.length), 0, 'markup from a replay');

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('a >> nth=0')]);
  assert.equal(download.suggestedFilename(), 'stage.setup');
  assert.deepEqual(fs.readFileSync(await download.path()), sample.subarray(368, 385));
  assert.equal(await page.evaluate(() => fetch('data:,x').then(() => 'fetched', () => 'refused')),
    'refused', 'the page\'s policy on connections');
  assert.deepEqual(errors, [], 'errors in the page');
  assert.deepEqual(requests.filter((url) => !/^(file|blob):/.test(url)), [], 'requests made');
  await browser.close();
  console.log(`ok: ${replays.length} replays, the setup saved, ${requests.length} local requests`);
})().catch((error) => console.error(error) || process.exit(1));
