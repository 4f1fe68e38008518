#include "cli/serve_assets.h"

namespace pagewright::cli {

const char* const kServeIndexHtml = R"PWHTML(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Pagewright preview</title>
<link rel="stylesheet" href="/app.css">
</head>
<body>
<header id="bar">
  <a id="home" href="/">Pagewright preview</a>
  <span id="title"></span>
  <span id="tools" hidden>
    <button id="prev" type="button" title="Previous page (PageUp)">&#9664;</button>
    <span id="pageno">&ndash;</span>
    <button id="next" type="button" title="Next page (PageDown)">&#9654;</button>
    <select id="zoom" title="Zoom">
      <option value="width">Fit width</option>
      <option value="page">Fit page</option>
      <option value="100">100%</option>
    </select>
    <a id="pdf" class="button" href="#" download>PDF</a>
    <a id="png" class="button" href="#" download>Page image</a>
    <label class="button" title="Bind a CSV or JSON file (or drop one onto the page)">Data&hellip;
      <input id="datafile" type="file" accept=".csv,.json,.jsonl" hidden></label>
    <input id="dataset" placeholder="data set" size="10" title="The data set the file binds (empty: the template's only one)">
    <button id="cleardata" type="button" hidden>Template's own data</button>
  </span>
</header>
<div id="offline" hidden>The server does not answer.</div>
<main id="list" hidden>
  <h1>Templates</h1>
  <p id="root"></p>
  <ul id="templates"></ul>
</main>
<main id="viewer" hidden>
  <p id="data"></p>
  <section id="messages"></section>
  <div id="stage"></div>
  <div id="decoded" hidden><button id="closedecoded" type="button">&times;</button><div id="decodedkind"></div><pre id="decodedtext"></pre></div>
</main>
<div id="drop" hidden>Drop a CSV or JSON file to bind it</div>
<script src="/app.js"></script>
</body>
</html>
)PWHTML";

const char* const kServeStyleCss = R"PWCSS(
* { box-sizing: border-box; }
html, body { margin: 0; height: 100%; }
body { font: 14px/1.4 system-ui, sans-serif; color: #222; background: #e8e8ea; display: flex; flex-direction: column; }
#bar { display: flex; flex-wrap: wrap; align-items: center; gap: 8px; padding: 6px 12px; background: #2d3340; color: #fff; }
#bar a, #bar label { color: #fff; }
#home { font-weight: 600; text-decoration: none; margin-right: 8px; }
#title { font-family: monospace; margin-right: auto; }
#tools { display: flex; align-items: center; gap: 6px; flex-wrap: wrap; }
#tools[hidden] { display: none; }
button, select, .button, #dataset { font: inherit; padding: 2px 8px; border-radius: 4px; border: 1px solid #8890a0; background: #3d4454; color: #fff; text-decoration: none; cursor: pointer; }
#dataset { cursor: text; background: #fff; color: #222; }
#pageno { min-width: 7em; text-align: center; }
#offline { background: #b3261e; color: #fff; padding: 4px 12px; }
main { flex: 1; min-height: 0; }
#list { padding: 12px 24px; overflow: auto; }
#templates a { font-family: monospace; font-size: 15px; }
#templates li { margin: 4px 0; }
#viewer { display: flex; flex-direction: column; }
#data { margin: 0; padding: 4px 12px; color: #555; font-size: 12px; }
#messages { padding: 0 12px; max-height: 30vh; overflow: auto; }
.message { margin: 4px 0; padding: 4px 8px; border-left: 4px solid #b3261e; background: #fff; font-family: monospace; white-space: pre-wrap; }
.message.warning { border-color: #c77700; }
.message.note { border-color: #5470a8; }
.message .where { color: #666; margin-right: 8px; }
.message .element { color: #6a1b9a; }
.message .attribute { color: #0b5394; }
#stage { flex: 1; overflow: auto; padding: 16px; position: relative; }
.sheet { position: relative; margin: 0 auto 16px; background: #fff; box-shadow: 0 1px 4px rgba(0,0,0,.35); }
.sheet img { display: block; width: 100%; height: 100%; }
.sheet.stale img { filter: grayscale(1); opacity: .45; }
.sheet .label { position: absolute; right: 100%; top: 0; margin-right: 6px; color: #777; font-size: 11px; }
.barcode { position: absolute; border: 1px dashed transparent; cursor: pointer; }
.barcode:hover, .barcode.selected { border-color: #1a73e8; background: rgba(26,115,232,.12); }
#decoded { position: fixed; right: 16px; bottom: 16px; max-width: 40vw; background: #fff; border: 1px solid #888; border-radius: 6px; padding: 8px 12px; box-shadow: 0 2px 8px rgba(0,0,0,.3); }
#decoded pre { margin: 4px 0 0; white-space: pre-wrap; word-break: break-all; font-size: 14px; }
#decodedkind { color: #555; font-size: 12px; padding-right: 24px; }
#closedecoded { position: absolute; right: 4px; top: 4px; background: #eee; color: #222; border-color: #ccc; padding: 0 6px; }
#drop { position: fixed; inset: 0; display: flex; align-items: center; justify-content: center; background: rgba(26,115,232,.25); font-size: 24px; color: #123; pointer-events: none; }
#drop[hidden] { display: none; }
.empty { color: #555; text-align: center; margin-top: 48px; }
)PWCSS";

const char* const kServeScriptJs = R"PWJS('use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const query = new URLSearchParams(location.search);
  const template = location.pathname === '/view' ? query.get('t') : null;
  let state = null;        // the template's last state from the server
  let current = 0;         // the page shown, 0-based
  let zoom = 'width';
  let loading = null;
  let again = false;

  function url(path, params) {
    const u = new URL(path, location.origin);
    for (const [k, v] of Object.entries(params || {})) u.searchParams.set(k, v);
    return u.pathname + u.search;
  }
  function offline(down) { $('offline').hidden = !down; }

  async function showList() {
    $('list').hidden = false;
    document.title = 'Pagewright preview';
    let body;
    try {
      const r = await fetch('/api/templates');
      body = await r.json();
      offline(false);
    } catch (e) { offline(true); return; }
    $('root').textContent = body.templates.length + ' template(s) under ' + body.root;
    const ul = $('templates');
    ul.replaceChildren();
    for (const name of body.templates) {
      const li = document.createElement('li');
      const a = document.createElement('a');
      a.href = url('/view', { t: name });
      a.textContent = name;
      a.className = 'template';
      li.appendChild(a);
      ul.appendChild(li);
    }
  }

  // The CSS pixels of a 96-dpi page pixel.
  function scale() {
    if (!state || !state.pages.length) return 1;
    if (zoom === '100') return 1;
    const stage = $('stage');
    const w = Math.max(...state.pages.map((p) => p.width));
    const h = Math.max(...state.pages.map((p) => p.height));
    const sw = (stage.clientWidth - 48) / w;
    if (zoom === 'width') return Math.max(0.1, sw);
    return Math.max(0.1, Math.min(sw, (stage.clientHeight - 32) / h));
  }
  // The raster export's resolution for the screen's pixels at this zoom.
  function dpi() {
    const ratio = window.devicePixelRatio || 1;
    return Math.max(24, Math.min(600, Math.round(96 * ratio * scale() / 12) * 12));
  }

  function showMessages() {
    const box = $('messages');
    box.replaceChildren();
    for (const m of state.messages) {
      const div = document.createElement('div');
      div.className = 'message ' + m.severity;
      const where = document.createElement('span');
      where.className = 'where';
      where.textContent = m.severity + (m.line ? ' \u00b7 line ' + m.line : '');
      div.appendChild(where);
      if (m.element) {
        const el = document.createElement('span');
        el.className = 'element';
        el.textContent = m.element + ' ';
        div.appendChild(el);
      }
      if (m.attribute) {
        const at = document.createElement('span');
        at.className = 'attribute';
        at.textContent = m.attribute + ': ';
        div.appendChild(at);
      }
      div.appendChild(document.createTextNode(m.element || m.attribute || m.line ? m.message : m.text));
      box.appendChild(div);
    }
  }

  function showDecoded(b, box) {
    for (const s of document.querySelectorAll('.barcode.selected')) s.classList.remove('selected');
    box.classList.add('selected');
    $('decodedkind').textContent = (b.kind || 'barcode') + (b.name ? ' \u00b7 ' + b.name : '');
    $('decodedtext').textContent = b.text;
    $('decoded').hidden = false;
  }

  function layout() {
    const s = scale();
    for (const sheet of document.querySelectorAll('.sheet')) {
      const p = state.pages[+sheet.dataset.index];
      sheet.style.width = Math.round(p.width * s) + 'px';
      sheet.style.height = Math.round(p.height * s) + 'px';
    }
  }

  function setSources() {
    const d = dpi();
    for (const img of document.querySelectorAll('.sheet img')) {
      const src = url('/api/page', { t: template, n: +img.parentNode.dataset.index + 1, dpi: d, g: state.generation });
      if (img.dataset.want === src) continue;
      img.dataset.want = src;
      if (!img.getAttribute('src') || img.loading === 'lazy') {
        img.setAttribute('src', src);
        continue;
      }
      // The page shown stays until its new image has arrived: no blank flash on a change.
      const next = new Image();
      next.onload = () => { if (img.dataset.want === src) img.setAttribute('src', src); };
      next.onerror = next.onload;
      next.src = src;
    }
    $('png').href = url('/api/page', { t: template, n: current + 1, dpi: d, g: state.generation, download: 1 });
    $('pdf').href = url('/api/pdf', { t: template, g: state.generation });
  }

  function showPages(keepScroll) {
    const stage = $('stage');
    const count = state.pages.length;
    const offset = keepScroll ? pageOffset() : 0;
    let sheets = [...stage.querySelectorAll('.sheet')];
    if (sheets.length !== count) {
      stage.replaceChildren();
      sheets = [];
      for (let i = 0; i < count; i++) {
        const fig = document.createElement('figure');
        fig.className = 'sheet';
        fig.dataset.index = i;
        const img = document.createElement('img');
        img.className = 'page';
        img.alt = 'page ' + (i + 1);
        if (count > 20) img.loading = 'lazy';
        fig.appendChild(img);
        stage.appendChild(fig);
        sheets.push(fig);
      }
      if (!count) {
        const p = document.createElement('p');
        p.className = 'empty';
        p.textContent = state.ok ? 'The report has no pages.' : 'No pages: the template does not load (see above).';
        stage.appendChild(p);
      }
    }
    sheets.forEach((fig, i) => {
      fig.classList.toggle('stale', state.stale);
      for (const b of fig.querySelectorAll('.barcode')) b.remove();
      for (const b of state.pages[i].barcodes) {
        const box = document.createElement('div');
        box.className = 'barcode';
        box.title = 'Show the encoded text';
        box.style.left = (b.left * 100) + '%';
        box.style.top = (b.top * 100) + '%';
        box.style.width = (b.width * 100) + '%';
        box.style.height = (b.height * 100) + '%';
        box.dataset.text = b.text;
        box.addEventListener('click', () => showDecoded(b, box));
        fig.appendChild(box);
      }
    });
    layout();
    current = Math.min(current, Math.max(0, count - 1));
    goTo(current, offset);
    setSources();
    updatePageNumber();
  }

  // Where the stage is scrolled within the current page, as a fraction of its height.
  function pageOffset() {
    const sheet = document.querySelectorAll('.sheet')[current];
    if (!sheet) return 0;
    return ($('stage').scrollTop - (sheet.offsetTop - 16)) / Math.max(1, sheet.offsetHeight);
  }
  function goTo(index, offset) {
    const sheets = document.querySelectorAll('.sheet');
    if (!sheets.length) return;
    current = Math.max(0, Math.min(sheets.length - 1, index));
    const sheet = sheets[current];
    $('stage').scrollTop = sheet.offsetTop - 16 + (offset || 0) * sheet.offsetHeight;
    updatePageNumber();
  }
  function updatePageNumber() {
    const count = state ? state.pages.length : 0;
    $('pageno').textContent = count ? 'Page ' + (current + 1) + ' of ' + count : 'No pages';
    $('prev').disabled = current <= 0;
    $('next').disabled = current >= count - 1;
    if (state) $('png').href = url('/api/page', { t: template, n: current + 1, dpi: dpi(), g: state.generation, download: 1 });
  }
  function trackScroll() {
    const stage = $('stage');
    const sheets = document.querySelectorAll('.sheet');
    const middle = stage.scrollTop + stage.clientHeight / 3;
    let index = 0;
    sheets.forEach((s, i) => { if (s.offsetTop <= middle) index = i; });
    if (index !== current) { current = index; updatePageNumber(); }
  }

  async function load() {
    if (loading) { again = true; return loading; }
    loading = (async () => {
      do {
        again = false;
        try {
          const r = await fetch(url('/api/report', { t: template }));
          const body = await r.json();
          offline(false);
          if (!r.ok) {
            state = { pages: [], messages: [{ severity: 'error', text: body.error, line: 0, element: '', attribute: '', message: body.error }], ok: false, stale: false, generation: 0, data: '', uploaded: '' };
          } else {
            const first = state === null;
            state = body;
            if (first) { current = 0; }
          }
        } catch (e) { offline(true); break; }
        document.body.dataset.generation = state.generation;
        document.body.dataset.ok = state.ok;
        $('data').textContent = state.data ? 'Data: ' + state.data : '';
        $('cleardata').hidden = !state.uploaded;
        showMessages();
        showPages(true);
      } while (again);
      loading = null;
    })();
    return loading;
  }

  async function upload(file) {
    const params = { t: template, name: file.name };
    if ($('dataset').value.trim()) params.set = $('dataset').value.trim();
    try {
      const r = await fetch(url('/api/data', params), { method: 'POST', headers: { 'X-Pagewright': '1', 'Content-Type': 'application/octet-stream' }, body: file });
      if (!r.ok) {
        const body = await r.json().catch(() => ({ error: r.statusText }));
        alert(body.error);
        return;
      }
    } catch (e) { offline(true); return; }
    await load();
  }

  function listen() {
    const events = new EventSource('/api/events');
    events.addEventListener('change', (e) => {
      const change = JSON.parse(e.data);
      if (!template) { showList(); return; }
      if (change.all || change.templates.includes(template)) load();
    });
    events.onopen = () => offline(false);
    events.onerror = () => offline(events.readyState !== EventSource.OPEN);
  }

  function startViewer() {
    $('viewer').hidden = false;
    $('tools').hidden = false;
    $('title').textContent = template;
    document.title = template + ' \u2013 Pagewright preview';
    $('prev').onclick = () => goTo(current - 1, 0);
    $('next').onclick = () => goTo(current + 1, 0);
    $('zoom').onchange = () => { zoom = $('zoom').value; showPages(true); };
    $('stage').addEventListener('scroll', trackScroll, { passive: true });
    $('closedecoded').onclick = () => { $('decoded').hidden = true; };
    $('datafile').onchange = () => { if ($('datafile').files[0]) upload($('datafile').files[0]); };
    $('cleardata').onclick = async () => {
      await fetch(url('/api/data', { t: template }), { method: 'DELETE', headers: { 'X-Pagewright': '1' } });
      load();
    };
    let resize = null;
    window.addEventListener('resize', () => { clearTimeout(resize); resize = setTimeout(() => state && showPages(true), 150); });
    document.addEventListener('keydown', (e) => {
      if (e.target.tagName === 'INPUT') return;
      if (e.key === 'PageDown' || e.key === 'ArrowRight') { goTo(current + 1, 0); e.preventDefault(); }
      if (e.key === 'PageUp' || e.key === 'ArrowLeft') { goTo(current - 1, 0); e.preventDefault(); }
    });
    let depth = 0;
    document.addEventListener('dragenter', (e) => { e.preventDefault(); depth++; $('drop').hidden = false; });
    document.addEventListener('dragleave', () => { if (--depth <= 0) { depth = 0; $('drop').hidden = true; } });
    document.addEventListener('dragover', (e) => e.preventDefault());
    document.addEventListener('drop', (e) => {
      e.preventDefault();
      depth = 0;
      $('drop').hidden = true;
      const file = e.dataTransfer.files[0];
      if (file) upload(file);
    });
    load();
  }

  window.pagewrightPreview = { load, goTo, state: () => state, current: () => current };
  listen();
  if (template !== null) startViewer(); else showList();
})();
)PWJS";

}  // namespace pagewright::cli
