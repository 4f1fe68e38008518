// End-to-end test of `pagewright serve` in a real browser: starts the server on a free loopback
// port with a fixture folder and drives Chromium headless through puppeteer-core.
// Usage: node browser_test.mjs PAGEWRIGHT SOURCE_DIR WORK_DIR NODE_MODULES_PREFIX
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createRequire } from 'node:module';

const [binary, sourceDir, workDir, nodePrefix] = process.argv.slice(2);
const require = createRequire(path.join(nodePrefix, 'node_modules', 'x.js'));
const puppeteer = require('puppeteer-core');

const fixtures = path.join(workDir, 'templates');
const artefacts = path.join(workDir, 'artefacts');
fs.rmSync(workDir, { recursive: true, force: true });
fs.mkdirSync(fixtures, { recursive: true });
fs.mkdirSync(artefacts, { recursive: true });
const data = path.join(sourceDir, 'tests', 'data', 'serve');
for (const f of ['two_pages.pw3', 'endless.pw3']) fs.copyFileSync(path.join(data, f), path.join(fixtures, f));
fs.copyFileSync(path.join(sourceDir, 'examples', 'label', 'reportes', 'EtiquetaVelmo.pw3'), path.join(fixtures, 'label.pw3'));
// The bound data file is a copy, so that the test can change it.
const parcels = path.join(workDir, 'parcels.csv');
fs.copyFileSync(path.join(sourceDir, 'examples', 'data', 'parcels.csv'), parcels);
// A link out of the folder must be neither listed nor served.
fs.symlinkSync('/etc/hostname', path.join(fixtures, 'outside.pw3'));
const twoPages = fs.readFileSync(path.join(data, 'two_pages.pw3'), 'utf8');

let failures = 0;
function check(ok, what, detail) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what + (ok || detail === undefined ? '' : ': ' + detail));
  if (!ok) failures++;
}

function get(url, headers) {
  return new Promise((resolve, reject) => {
    http.get(url, { headers: headers || {} }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
    }).on('error', reject);
  });
}
function pngSize(buffer) {
  return buffer.length > 24 && buffer.toString('latin1', 1, 4) === 'PNG' ? [buffer.readUInt32BE(16), buffer.readUInt32BE(20)] : null;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// ---- the server ------------------------------------------------------------------------------
const server = spawn(binary, ['serve', '--port', '0', '--time-limit', '3', '--data', 'pgwDBmaster=' + parcels, fixtures],
  { stdio: ['ignore', 'pipe', 'pipe'] });
let serverErr = '';
server.stderr.on('data', (d) => { serverErr += d; });
const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
let base = null;
for (let i = 0; i < 100 && !base; i++) {
  const m = /serving \d+ templates? under .* at (http:\/\/127\.0\.0\.1:\d+\/)/.exec(serverErr);
  if (m) base = m[1]; else await sleep(50);
}
if (!base) {
  console.log('FAIL the server did not start:\n' + serverErr);
  process.exit(1);
}
check(true, 'the server says what it serves and where: ' + serverErr.trim().split('\n')[0]);

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--no-proxy-server', '--disable-dev-shm-usage'],
});
const page = await browser.newPage();
await page.setViewport({ width: 1000, height: 900, deviceScaleFactor: 1 });
page.on('pageerror', (e) => check(false, 'no script error in the page', e.message));

try {
  // ---- the list ------------------------------------------------------------------------------
  // The page keeps its change-event connection open, so the network is never idle: wait for content.
  await page.goto(base, { waitUntil: 'domcontentloaded' });
  await page.waitForSelector('a.template');
  const listed = await page.$$eval('a.template', (as) => as.map((a) => a.textContent));
  check(JSON.stringify(listed) === JSON.stringify(['endless.pw3', 'label.pw3', 'two_pages.pw3']),
    'the list shows the templates under the folder, and not the link out of it', JSON.stringify(listed));

  // ---- a template: its pages, their size, the page count -------------------------------------
  await Promise.all([page.waitForNavigation(), page.click('a.template[href*="two_pages"]')]);
  await page.waitForSelector('img.page');
  await page.select('#zoom', '100');
  const pagesLoaded = () => page.waitForFunction((w, h) => {
    const imgs = [...document.querySelectorAll('img.page')];
    return imgs.length > 0 && imgs.every((i) => i.complete && i.naturalWidth === w && i.naturalHeight === h);
  }, { timeout: 5000 }, 378, 227);
  await pagesLoaded();
  const sizes = await page.$$eval('img.page', (imgs) => imgs.map((i) => [i.naturalWidth, i.naturalHeight, i.clientWidth, i.clientHeight]));
  check(sizes.length === 2 && sizes.every((s) => s.join() === '378,227,378,227'),
    'two page images of 100 x 60 mm at 96 dpi, shown at 100%', JSON.stringify(sizes));
  check(await page.$eval('#pageno', (e) => e.textContent) === 'Page 1 of 2', 'the page count is shown');

  // ---- a barcode's decoded text --------------------------------------------------------------
  await page.click('.barcode');
  check(await page.$eval('#decodedtext', (e) => e.textContent) === 'PW-4711', 'clicking the barcode shows its text');

  // ---- live: an edit on disk re-renders, keeping the page and the zoom -----------------------
  await page.click('#next');
  check(await page.$eval('#pageno', (e) => e.textContent) === 'Page 2 of 2', 'the next button goes to page 2');
  const generation = await page.$eval('body', (b) => b.dataset.generation);
  const edited = Date.now();
  fs.writeFileSync(path.join(fixtures, 'two_pages.pw3'), twoPages.replace(/PaperHeight="60"/g, 'PaperHeight="80"'));
  await page.waitForFunction((g) => document.body.dataset.generation !== g &&
    [...document.querySelectorAll('img.page')].every((i) => i.complete && i.naturalHeight === 302), { timeout: 5000 }, generation);
  const took = Date.now() - edited;
  check(took < 1000, 'editing the template on disk updates the pages within a second (' + took + ' ms)');
  check(await page.$eval('#pageno', (e) => e.textContent) === 'Page 2 of 2', 'the page number stays after the update');
  check(await page.$eval('#zoom', (e) => e.value) === '100', 'the zoom stays after the update');

  // ---- a broken template: its errors, the last good pages greyed -----------------------------
  fs.writeFileSync(path.join(fixtures, 'two_pages.pw3'), twoPages.replace('Height="24" Font.Height="-16" Font.Name="Arial" Text="First page"', 'Height="tall" Font.Height="-16" Font.Name="Arial" Text="First page"'));
  await page.waitForSelector('.message.error .element', { timeout: 5000 });
  const messages = await page.$$eval('.message', (ms) => ms.map((m) => m.textContent));
  check(messages.some((m) => m.includes('line 5') && m.includes('<TpgwMemoView Name="Heading">') && m.includes('Height: ')),
    'a broken template shows its error with line, element and attribute', JSON.stringify(messages));
  check(await page.$$eval('.sheet.stale img.page', (imgs) => imgs.length) === 2, 'the last good pages stay, greyed');
  await page.screenshot({ path: path.join(artefacts, 'preview-broken.png') });
  fs.writeFileSync(path.join(fixtures, 'two_pages.pw3'), twoPages);
  await page.waitForFunction(() => document.body.dataset.ok === 'true' && !document.querySelector('.message'), { timeout: 5000 });
  check(true, 'fixing the template clears its errors');

  // ---- the PDF download ----------------------------------------------------------------------
  const pdfHref = await page.$eval('#pdf', (a) => a.href);
  const pdf = await get(pdfHref);
  const pdfFile = path.join(artefacts, 'two_pages.pdf');
  fs.writeFileSync(pdfFile, pdf.body);
  const qpdf = spawnSync('qpdf', ['--check', pdfFile], { encoding: 'utf8' });
  check(pdf.status === 200 && /attachment/.test(pdf.headers['content-disposition'] || '') && qpdf.status === 0,
    'the PDF download is a valid PDF (qpdf --check)', pdf.status + ' ' + qpdf.stdout + qpdf.stderr);
  const pngHref = await page.$eval('#png', (a) => a.href);
  const png = await get(pngHref);
  check(png.status === 200 && pngSize(png.body) !== null, 'the page image download is a PNG');

  // ---- paths outside the folder are refused --------------------------------------------------
  for (const t of ['../two_pages.pw3', 'templates/../../x.pw3', '/etc/passwd', 'outside.pw3']) {
    const r = await get(base + 'api/report?t=' + encodeURIComponent(t));
    check(r.status === 403 || r.status === 404, 'refused: ' + t, r.status + ' ' + r.body);
  }
  await page.goto(base + 'view?t=' + encodeURIComponent('../../etc/passwd'), { waitUntil: 'domcontentloaded' });
  await page.waitForSelector('.message');
  const refused = await page.$$eval('.message', (ms) => ms.map((m) => m.textContent).join(' '));
  check(/not allowed/.test(refused), 'a ".." path shows a refusal in the page', refused);
  const foreign = await get(base + 'api/templates', { Host: 'evil.example:80' });
  check(foreign.status === 403, 'a request for another host name is refused', foreign.status);

  // ---- data dropped onto the page ------------------------------------------------------------
  await page.goto(base + 'view?t=label.pw3', { waitUntil: 'domcontentloaded' });
  await page.waitForFunction(() => document.querySelectorAll('img.page').length === 5, { timeout: 5000 });
  check(true, 'the label shows one page per record of --data');
  const twoRecords = fs.readFileSync(parcels, 'utf8').split('\n').slice(0, 3).join('\n') + '\n';
  const upload = await page.evaluate(async (csv) => {
    const post = (headers, body) => fetch('/api/data?t=label.pw3&name=two.csv', { method: 'POST', headers, body }).then((r) => r.status);
    return [await post({}, csv), await post({ 'X-Pagewright': '1' }, 'x'.repeat(5 << 20)), await post({ 'X-Pagewright': '1' }, csv)];
  }, twoRecords);
  check(upload.join() === '403,413,200', 'a dropped file needs our header, has a size limit, and is taken', upload.join());
  await page.waitForFunction(() => document.querySelectorAll('img.page').length === 2, { timeout: 5000 });
  check(true, 'the dropped file with two records gives two pages');
  await page.click('#cleardata');
  await page.waitForFunction(() => document.querySelectorAll('img.page').length === 5, { timeout: 5000 });
  check(true, "the template's own data comes back");

  // ---- live: a change of the bound data file re-renders --------------------------------------
  const allRecords = fs.readFileSync(parcels, 'utf8');
  fs.writeFileSync(parcels, twoRecords);
  await page.waitForFunction(() => document.querySelectorAll('img.page').length === 2, { timeout: 5000 });
  check(true, 'a change of the --data file on disk re-renders (two records, two pages)');
  fs.writeFileSync(parcels, allRecords);
  await page.waitForFunction(() => document.querySelectorAll('img.page').length === 5, { timeout: 5000 });

  // ---- the preview against the raster export -------------------------------------------------
  await page.select('#zoom', '100');
  await page.waitForFunction(() => [...document.querySelectorAll('img.page')].slice(0, 1).every((i) => i.complete && i.naturalWidth === 397), { timeout: 5000 });
  await page.evaluate(() => { document.getElementById('stage').scrollTop = 0; });
  await sleep(100);
  await page.screenshot({ path: path.join(artefacts, 'preview-window.png') });
  const shot = await (await page.$('img.page')).screenshot({ path: path.join(artefacts, 'preview-label.png') });
  const reference = path.join(artefacts, 'export');
  const render = spawnSync(binary, ['render', path.join(fixtures, 'label.pw3'), '--data', parcels, '--pages', '1', '--png', reference + '.png'], { encoding: 'utf8' });
  check(render.status === 0, 'the raster export of the label', render.stderr);
  const exported = fs.readFileSync(reference + '.1.png');
  // Compared in a blank page: the preview's own policy allows no data: images.
  const blank = await browser.newPage();
  const diff = await blank.evaluate(async (a, b) => {
    const pixels = async (data) => {
      const img = new Image();
      img.src = 'data:image/png;base64,' + data;
      await img.decode();
      const c = document.createElement('canvas');
      c.width = img.naturalWidth; c.height = img.naturalHeight;
      const g = c.getContext('2d');
      g.drawImage(img, 0, 0);
      return { w: c.width, h: c.height, d: g.getImageData(0, 0, c.width, c.height).data };
    };
    const x = await pixels(a), y = await pixels(b);
    if (x.w !== y.w || x.h !== y.h) return { size: [x.w, x.h, y.w, y.h] };
    let sum = 0, off = 0;
    for (let i = 0; i < x.d.length; i += 4) {
      const d = Math.max(Math.abs(x.d[i] - y.d[i]), Math.abs(x.d[i + 1] - y.d[i + 1]), Math.abs(x.d[i + 2] - y.d[i + 2]));
      sum += d;
      if (d > 48) off++;
    }
    return { mean: sum / (x.w * x.h), off: off / (x.w * x.h) };
  }, Buffer.from(shot).toString('base64'), exported.toString('base64'));
  // Tolerance: the screenshot passes through the compositor (colour handling, rounding), so a
  // small mean difference is allowed, and under 1% of the pixels may differ visibly.
  check(diff.mean !== undefined && diff.mean < 2 && diff.off < 0.01,
    'the screenshot of the preview matches the raster export of the page ' + JSON.stringify(diff));

  // ---- a template that loops shows an error, and the server stays responsive -----------------
  const t0 = Date.now();
  await page.goto(base + 'view?t=endless.pw3', { waitUntil: 'domcontentloaded' });
  await page.waitForSelector('.message.error', { timeout: 10000 });
  const loopMessage = await page.$eval('.message.error', (m) => m.textContent);
  check(/stopped after 3 s/.test(loopMessage) && Date.now() - t0 < 8000, 'a template that loops shows an error after the time limit', loopMessage);

  // ---- many requests at once: each template gets its own pages -------------------------------
  const requests = [];
  for (let i = 0; i < 24; i++) {
    const which = i % 2 ? ['label.pw3', 1 + (i % 5), [397, 559]] : ['two_pages.pw3', 1 + (i % 2), [378, 227]];
    requests.push(get(base + 'api/page?t=' + which[0] + '&n=' + which[1] + '&dpi=96').then((r) => ({ r, want: which[2] })));
  }
  const answers = await Promise.all(requests);
  const wrong = answers.filter(({ r, want }) => r.status !== 200 || String(pngSize(r.body)) !== String(want));
  check(wrong.length === 0, '24 concurrent page requests of two templates each get their own page', wrong.length + ' wrong');
} catch (e) {
  check(false, 'the test ran to its end', e.stack);
  await page.screenshot({ path: path.join(artefacts, 'failure.png') }).catch(() => {});
} finally {
  await browser.close();
}

// ---- Ctrl-C stops the server cleanly ---------------------------------------------------------
server.kill('SIGINT');
const end = await Promise.race([exited, sleep(5000).then(() => null)]);
check(end !== null && end.code === 0 && /stopped/.test(serverErr), 'Ctrl-C stops the server cleanly', JSON.stringify(end) + ' ' + serverErr);
if (end === null) server.kill('SIGKILL');
console.log(failures ? failures + ' check(s) failed' : 'all checks passed');
console.log('artefacts: ' + artefacts);
process.exit(failures ? 1 : 0);
