// Pagimo's HTML viewer. The file carries every page as an SVG document, deflated and in base64, kept as
// inert text until the page comes into view; a page far out of view is dropped again, so that a long
// document opens at once and the tab's memory stays that of the few pages on screen. The pages' text in
// reading order comes separately, for finding across pages without drawing them.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const info = JSON.parse($('pagimo-document').textContent);
  const blobs = $('pagimo-pages').textContent.split(' ');
  const count = info.sizes.length / 2;
  const pagesEl = $('pages'), thumbsEl = $('thumbs'), findEl = $('find');
  const pxPerMM = 96 / 25.4, gap = 12;
  const zoomSteps = [0.25, 0.33, 0.5, 0.67, 0.75, 0.9, 1, 1.1, 1.25, 1.5, 1.75, 2, 2.5, 3, 4];

  // ---- Raw deflate, read synchronously (printing must have every page at once) ----
  const LBASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258];
  const LEXT = [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0];
  const DBASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537, 2049,
    3073, 4097, 6145, 8193, 12289, 16385, 24577];
  const DEXT = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13];
  const ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15];

  // A canonical Huffman code from code lengths: how many codes of each length, and the symbols in code order.
  function huffman(lengths) {
    const counts = new Uint16Array(16), symbols = new Uint16Array(lengths.length), offsets = new Uint16Array(16);
    for (const l of lengths) counts[l]++;
    counts[0] = 0;
    for (let i = 1; i < 16; i++) offsets[i] = offsets[i - 1] + counts[i - 1];
    for (let s = 0; s < lengths.length; s++) if (lengths[s]) symbols[offsets[lengths[s]]++] = s;
    return { counts, symbols };
  }
  const fixedLit = huffman(Array.from({ length: 288 }, (_, i) => (i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8)));
  const fixedDist = huffman(new Array(30).fill(5));

  // Inflates src; with a dictionary, back references may reach into it (it stands before the output).
  function inflate(src, dictionary) {
    const start = dictionary ? dictionary.length : 0;
    let out = new Uint8Array(start + Math.max(1024, src.length * 6)), n = start, pos = 0, bitBuf = 0, bitCount = 0;
    if (dictionary) out.set(dictionary);
    const bits = (k) => {
      while (bitCount < k) {
        if (pos >= src.length) throw new Error('truncated page data');
        bitBuf |= src[pos++] << bitCount;
        bitCount += 8;
      }
      const v = bitBuf & ((1 << k) - 1);
      bitBuf >>>= k;
      bitCount -= k;
      return v;
    };
    const room = (k) => {
      if (n + k <= out.length) return;
      const bigger = new Uint8Array(Math.max(out.length * 2, n + k));
      bigger.set(out);
      out = bigger;
    };
    const decode = (h) => {
      let code = 0, first = 0, index = 0;
      for (let len = 1; len < 16; len++) {
        code |= bits(1);
        const c = h.counts[len];
        if (code - first < c) return h.symbols[index + code - first];
        index += c;
        first = (first + c) << 1;
        code <<= 1;
      }
      throw new Error('damaged page data');
    };
    for (let last = 0; !last;) {
      last = bits(1);
      const type = bits(2);
      if (type === 0) {
        bitBuf = bitCount = 0; // stored blocks start on a byte
        const len = src[pos] | (src[pos + 1] << 8);
        pos += 4;
        room(len);
        out.set(src.subarray(pos, pos + len), n);
        n += len;
        pos += len;
        continue;
      }
      let lit = fixedLit, dist = fixedDist;
      if (type === 2) {
        const nlit = bits(5) + 257, ndist = bits(5) + 1, ncode = bits(4) + 4;
        const codeLengths = new Array(19).fill(0);
        for (let i = 0; i < ncode; i++) codeLengths[ORDER[i]] = bits(3);
        const lengthCode = huffman(codeLengths), lengths = [];
        while (lengths.length < nlit + ndist) {
          const sym = decode(lengthCode);
          if (sym < 16) lengths.push(sym);
          else if (sym === 16) lengths.push(...new Array(3 + bits(2)).fill(lengths[lengths.length - 1]));
          else lengths.push(...new Array(sym === 17 ? 3 + bits(3) : 11 + bits(7)).fill(0));
        }
        lit = huffman(lengths.slice(0, nlit));
        dist = huffman(lengths.slice(nlit, nlit + ndist));
      } else if (type !== 1) {
        throw new Error('damaged page data');
      }
      for (;;) {
        const sym = decode(lit);
        if (sym < 256) {
          room(1);
          out[n++] = sym;
        } else if (sym === 256) {
          break;
        } else {
          const len = LBASE[sym - 257] + bits(LEXT[sym - 257]);
          const d = decode(dist), back = DBASE[d] + bits(DEXT[d]);
          room(len);
          for (let i = 0; i < len; i++, n++) out[n] = out[n - back];
        }
      }
    }
    return out.subarray(start, n);
  }

  const utf8 = new TextDecoder();
  function bytesOf(base64) {
    const binary = atob(base64), bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }
  function unpack(base64) {
    return utf8.decode(inflate(bytesOf(base64)));
  }
  // Pages after the first are deflated against the end of the first page's SVG.
  let dictionary = null;
  function pageSvg(i) {
    if (i === 0) return unpack(blobs[0]);
    if (!dictionary) {
      const first = inflate(bytesOf(blobs[0]));
      dictionary = first.slice(Math.max(0, first.length - 32768));
    }
    return utf8.decode(inflate(bytesOf(blobs[i]), dictionary));
  }

  // ---- The pages: one section per page at its own size; named @page rules give each its sheet in print ----
  const sheetNames = new Map();
  let pageRules = '';
  const sections = [];
  const sheets = document.createDocumentFragment();
  for (let i = 0; i < count; i++) {
    const w = info.sizes[2 * i], h = info.sizes[2 * i + 1], key = w + 'x' + h;
    if (!sheetNames.has(key)) {
      sheetNames.set(key, 's' + (sheetNames.size + 1));
      pageRules += '@page ' + sheetNames.get(key) + '{size:' + w + 'mm ' + h + 'mm;margin:0}\n';
    }
    const s = document.createElement('section');
    s.className = 'page';
    s.setAttribute('role', 'region');
    s.setAttribute('aria-label', 'Page ' + (i + 1) + ' of ' + count);
    s.style.cssText = '--w:' + w + 'mm;--h:' + h + 'mm;page:' + sheetNames.get(key);
    sections.push(s);
    sheets.appendChild(s);
  }
  const style = document.createElement('style');
  style.textContent = $('pagimo-fonts').textContent + pageRules;
  document.head.appendChild(style);
  pagesEl.appendChild(sheets);

  const loaded = new Set();
  function load(i) {
    if (loaded.has(i)) return;
    loaded.add(i);
    try {
      sections[i].innerHTML = pageSvg(i);
    } catch (e) {
      sections[i].classList.add('unreadable');
    }
    if (query) highlight(i);
  }
  function unload(i) {
    loaded.delete(i);
    sections[i].textContent = '';
  }

  // ---- Where we are: the page at the top of the view, found by halving (sections lie in order) ----
  let current = 0, zoom = 1, fitMode = null, pinnedScroll = -1;
  function pageAt(y) {
    let lo = 0, hi = count - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (sections[mid].offsetTop + sections[mid].offsetHeight + gap / 2 <= y) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  let updateQueued = false;
  function queueUpdate() {
    if (updateQueued) return;
    updateQueued = true;
    requestAnimationFrame(() => {
      updateQueued = false;
      update();
    });
  }
  function update() {
    if (!count) return;
    const top = pagesEl.scrollTop, bottom = top + pagesEl.clientHeight;
    const first = pageAt(top), last = pageAt(bottom);
    for (let i = Math.max(0, first - 1); i <= Math.min(count - 1, last + 1); i++) load(i);
    for (const i of [...loaded]) if (i < first - 3 || i > last + 3) unload(i);
    // A page gone to by a command stays current while the view stays where that put it.
    if (pagesEl.scrollTop !== pinnedScroll) current = pageAt(top + gap + 1);
    showState();
    updateThumbs();
  }

  function goTo(i) {
    if (!count) return;
    current = Math.max(0, Math.min(count - 1, i));
    pagesEl.scrollTop = sections[current].offsetTop - gap;
    pinnedScroll = pagesEl.scrollTop;
    update();
  }
  // Page Up/Down: through a page taller than the view by screens, else from page to page.
  function pageKey(direction) {
    const s = sections[current], top = pagesEl.scrollTop, view = pagesEl.clientHeight;
    const step = view - 40;
    if (direction > 0 && s.offsetTop + s.offsetHeight > top + view + 2) {
      pagesEl.scrollTop = Math.min(top + step, s.offsetTop + s.offsetHeight - view + gap);
      pinnedScroll = pagesEl.scrollTop;
    } else if (direction < 0 && s.offsetTop < top - gap - 2) {
      pagesEl.scrollTop = Math.max(top - step, s.offsetTop - gap);
      pinnedScroll = pagesEl.scrollTop;
    } else {
      goTo(current + direction);
    }
    update();
  }

  // ---- Tool bar ----
  const pageField = $('page');
  function showState() {
    if (document.activeElement !== pageField) pageField.value = count ? current + 1 : '';
    $('count').textContent = 'of ' + count;
    $('first').disabled = $('prev').disabled = current <= 0;
    $('next').disabled = $('last').disabled = current >= count - 1;
    $('fit-width').setAttribute('aria-pressed', fitMode === 'width');
    $('fit-page').setAttribute('aria-pressed', fitMode === 'page');
    const zoomSelect = $('zoom');
    zoomSelect.options[0].textContent = Math.round(zoom * 100) + '%';
    zoomSelect.value = fitMode ? 'fit-' + fitMode : 'now';
    for (let i = 0; i < thumbs.length; i++) {
      if (i === current) thumbs[i].setAttribute('aria-current', 'page');
      else if (thumbs[i].hasAttribute('aria-current')) thumbs[i].removeAttribute('aria-current');
    }
  }

  function fitZoom(mode) {
    if (!count) return 1;
    const w = info.sizes[2 * current] * pxPerMM, h = info.sizes[2 * current + 1] * pxPerMM;
    const byWidth = (pagesEl.clientWidth - 2 * gap - 16) / w;
    return Math.max(0.1, mode === 'page' ? Math.min(byWidth, (pagesEl.clientHeight - 2 * gap) / h) : byWidth);
  }
  // Sets the zoom keeping the place: the same point of the current page stays at the top of the view.
  function setZoom(z, mode) {
    fitMode = mode || null;
    z = Math.max(0.1, Math.min(8, mode ? fitZoom(mode) : z));
    const s = sections[current];
    const within = s ? (pagesEl.scrollTop - s.offsetTop) / s.offsetHeight : 0;
    const pinned = pagesEl.scrollTop === pinnedScroll;
    zoom = z;
    pagesEl.style.setProperty('--z', z);
    if (s) pagesEl.scrollTop = s.offsetTop + within * s.offsetHeight;
    if (pinned) pinnedScroll = pagesEl.scrollTop;
    update();
  }
  function zoomStep(direction) {
    const next = direction > 0 ? zoomSteps.find((z) => z > zoom + 1e-3) : [...zoomSteps].reverse().find((z) => z < zoom - 1e-3);
    if (next) setZoom(next);
  }

  const zoomSelect = $('zoom');
  zoomSelect.add(new Option('100%', 'now'));
  for (const z of zoomSteps) zoomSelect.add(new Option(Math.round(z * 100) + '%', String(z)));
  zoomSelect.add(new Option('Fit width', 'fit-width'));
  zoomSelect.add(new Option('Fit page', 'fit-page'));
  zoomSelect.options[0].hidden = true;
  zoomSelect.addEventListener('change', () => {
    const v = zoomSelect.value;
    if (v.startsWith('fit-')) setZoom(1, v.slice(4));
    else if (v !== 'now') setZoom(Number(v));
  });
  $('first').addEventListener('click', () => goTo(0));
  $('prev').addEventListener('click', () => goTo(current - 1));
  $('next').addEventListener('click', () => goTo(current + 1));
  $('last').addEventListener('click', () => goTo(count - 1));
  $('zoom-in').addEventListener('click', () => zoomStep(1));
  $('zoom-out').addEventListener('click', () => zoomStep(-1));
  $('fit-width').addEventListener('click', () => setZoom(1, 'width'));
  $('fit-page').addEventListener('click', () => setZoom(1, 'page'));
  $('print').addEventListener('click', () => window.print());
  pageField.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    const n = parseInt(pageField.value, 10);
    if (n >= 1 && n <= count) goTo(n - 1);
    pageField.value = current + 1;
    pageField.select();
  });
  pageField.addEventListener('focus', () => pageField.select());
  pageField.addEventListener('blur', showState);
  pagesEl.addEventListener('scroll', queueUpdate, { passive: true });
  window.addEventListener('resize', () => (fitMode ? setZoom(1, fitMode) : queueUpdate()));

  // ---- Thumbnails: built when first shown, drawn only while in view of their pane ----
  const thumbs = [], thumbLoaded = new Set();
  function showThumbs(show) {
    thumbsEl.hidden = !show;
    $('thumbs-toggle').setAttribute('aria-pressed', show);
    if (show && !thumbs.length) {
      const list = document.createDocumentFragment();
      for (let i = 0; i < count; i++) {
        const b = document.createElement('button');
        b.type = 'button';
        b.className = 'thumb';
        b.setAttribute('aria-label', 'Page ' + (i + 1));
        const sheet = document.createElement('div');
        sheet.className = 'sheet';
        sheet.setAttribute('aria-hidden', 'true');
        sheet.style.width = '120px';
        sheet.style.height = Math.round((120 * info.sizes[2 * i + 1]) / info.sizes[2 * i]) + 'px';
        b.append(sheet, String(i + 1));
        b.addEventListener('click', () => goTo(i));
        thumbs.push(b);
        list.appendChild(b);
      }
      thumbsEl.appendChild(list);
      thumbsEl.addEventListener('scroll', updateThumbs, { passive: true });
    }
    if (show) {
      showState();
      if (thumbs[current]) thumbs[current].scrollIntoView({ block: 'nearest' });
    }
    updateThumbs();
  }
  function updateThumbs() {
    if (thumbsEl.hidden || !thumbs.length) return;
    const top = thumbsEl.scrollTop, bottom = top + thumbsEl.clientHeight;
    let first = 0;
    for (let lo = 0, hi = count - 1; lo <= hi;) {
      const mid = (lo + hi) >> 1;
      if (thumbs[mid].offsetTop + thumbs[mid].offsetHeight < top) lo = first = mid + 1;
      else hi = mid - 1;
    }
    let last = first;
    while (last + 1 < count && thumbs[last + 1].offsetTop < bottom) last++;
    for (let i = Math.max(0, first - 2); i <= Math.min(count - 1, last + 2); i++) {
      if (thumbLoaded.has(i)) continue;
      thumbLoaded.add(i);
      try {
        thumbs[i].firstChild.innerHTML = pageSvg(i);
      } catch (e) {
        /* an unreadable page keeps a blank thumbnail */
      }
    }
    for (const i of [...thumbLoaded]) {
      if (i >= first - 10 && i <= last + 10) continue;
      thumbLoaded.delete(i);
      thumbs[i].firstChild.textContent = '';
    }
  }
  $('thumbs-toggle').addEventListener('click', () => showThumbs(thumbsEl.hidden));

  // ---- The text of a drawn page: its text elements and the separators between them, in reading order ----
  function pageText(svg) {
    let text = '';
    const pieces = [];
    const layer = svg && svg.querySelector('g.t');
    (function walk(node) {
      for (let c = node ? node.firstChild : null; c; c = c.nextSibling) {
        if (c.nodeType === Node.TEXT_NODE) text += c.data;
        else if (c.localName === 'text') {
          pieces.push({ at: text.length, el: c });
          text += c.textContent;
        } else if (c.localName === 'g') walk(c);
      }
    })(layer);
    return { text, pieces };
  }

  // ---- Find: counted in the text of every page, highlighted on the pages drawn ----
  // The text of all pages, in lower case, each page's followed by a line feed, and where each begins.
  let index = null, starts = null, query = '', hits = null, total = 0, hit = null;
  function search(q) {
    if (!index) {
      index = unpack(info.text);
      info.text = null; // the packed form is not needed again
      starts = new Float64Array(count + 1);
      for (let i = 0; i < count; i++) starts[i + 1] = starts[i] + info.textLengths[i] + 1;
    }
    query = q.toLowerCase();
    hits = new Int32Array(count);
    total = 0;
    if (query) {
      let page = 0;
      for (let at = index.indexOf(query); at >= 0; at = index.indexOf(query, at + query.length)) {
        while (page + 1 < count && starts[page + 1] <= at) page++;
        hits[page]++;
        total++;
      }
    }
    hit = null;
    for (let k = 0; k < count && total; k++) {
      const i = (current + k) % count;
      if (hits[i]) {
        hit = { page: i, k: 0 };
        break;
      }
    }
    showHit();
  }
  function findStep(direction) {
    if (!hit) return;
    let { page, k } = hit;
    k += direction;
    while (k < 0 || k >= hits[page]) {
      page = (page + direction + count) % count;
      k = direction > 0 ? 0 : hits[page] - 1;
    }
    hit = { page, k };
    showHit();
  }
  function showHit() {
    let ordinal = 0;
    if (hit) for (let i = 0; i < hit.page; i++) ordinal += hits[i];
    $('find-count').textContent = !query ? '' : total ? ordinal + hit.k + 1 + ' of ' + total : 'No matches';
    if (hit && (hit.page < pageAt(pagesEl.scrollTop) || hit.page > pageAt(pagesEl.scrollTop + pagesEl.clientHeight)))
      goTo(hit.page);
    for (const i of loaded) highlight(i);
    const mark = hit && sections[hit.page].querySelector('.hl .current');
    if (mark) {
      const box = mark.getBoundingClientRect(), view = pagesEl.getBoundingClientRect();
      if (box.top < view.top || box.bottom > view.bottom) {
        pagesEl.scrollTop += box.top - view.top - pagesEl.clientHeight / 3;
        pinnedScroll = pagesEl.scrollTop;
        current = hit.page;
        update();
      }
    }
  }
  function highlight(i) {
    const svg = sections[i].querySelector('svg');
    if (!svg) return;
    const old = svg.querySelector('g.hl');
    if (old) old.remove();
    if (!query || !hits || !hits[i]) return;
    const ns = 'http://www.w3.org/2000/svg', layer = document.createElementNS(ns, 'g');
    layer.setAttribute('class', 'hl');
    const { text, pieces } = pageText(svg), lower = text.toLowerCase();
    let k = 0;
    for (let at = lower.indexOf(query); at >= 0; at = lower.indexOf(query, at + query.length), k++) {
      for (const p of pieces) {
        const len = p.el.textContent.length, from = Math.max(at, p.at), to = Math.min(at + query.length, p.at + len);
        for (let c = from; c < to; c++) {
          let box;
          try {
            box = p.el.getExtentOfChar(c - p.at);
          } catch (e) {
            continue;
          }
          const r = document.createElementNS(ns, 'rect');
          r.setAttribute('x', box.x);
          r.setAttribute('y', box.y);
          r.setAttribute('width', box.width);
          r.setAttribute('height', box.height);
          if (p.el.hasAttribute('transform')) r.setAttribute('transform', p.el.getAttribute('transform'));
          if (hit && hit.page === i && hit.k === k) r.setAttribute('class', 'current');
          layer.appendChild(r);
        }
      }
    }
    svg.appendChild(layer);
  }
  function openFind() {
    findEl.hidden = false;
    $('find-toggle').setAttribute('aria-expanded', 'true');
    $('find-text').focus();
    $('find-text').select();
  }
  function closeFind() {
    findEl.hidden = true;
    $('find-toggle').setAttribute('aria-expanded', 'false');
    query = '';
    for (const i of loaded) highlight(i);
    pagesEl.focus();
  }
  $('find-toggle').addEventListener('click', () => (findEl.hidden ? openFind() : closeFind()));
  $('find-close').addEventListener('click', closeFind);
  $('find-next').addEventListener('click', () => findStep(1));
  $('find-prev').addEventListener('click', () => findStep(-1));
  $('find-text').addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    e.preventDefault();
    if ($('find-text').value.toLowerCase() !== query) search($('find-text').value);
    else findStep(e.shiftKey ? -1 : 1);
  });
  $('find-text').addEventListener('input', () => search($('find-text').value));

  // ---- Keys: Page Up/Down, Home/End, +/-, T, Ctrl+F, F3, Esc ----
  document.addEventListener('keydown', (e) => {
    const ctrl = e.ctrlKey || e.metaKey;
    if (ctrl && !e.altKey && e.key.toLowerCase() === 'f') {
      e.preventDefault();
      openFind();
      return;
    }
    if (e.key === 'F3' || (ctrl && e.key.toLowerCase() === 'g')) {
      e.preventDefault();
      if (!query) openFind();
      else findStep(e.shiftKey ? -1 : 1);
      return;
    }
    if (e.key === 'Escape' && !findEl.hidden) {
      closeFind();
      return;
    }
    if (ctrl || e.altKey || (e.target.closest && e.target.closest('input,select,textarea'))) return;
    const keys = {
      PageDown: () => pageKey(1),
      PageUp: () => pageKey(-1),
      Home: () => goTo(0),
      End: () => goTo(count - 1),
      '+': () => zoomStep(1),
      '=': () => zoomStep(1),
      '-': () => zoomStep(-1),
      t: () => showThumbs(thumbsEl.hidden),
    };
    if (!keys[e.key]) return;
    e.preventDefault();
    keys[e.key]();
  });

  // ---- Copy: the selected text in reading order, lines kept, hidden copies of covered text left out ----
  document.addEventListener('copy', (e) => {
    const selection = getSelection();
    if (!selection.rangeCount || selection.isCollapsed) return;
    const range = selection.getRangeAt(0);
    if (!pagesEl.contains(range.commonAncestorContainer)) return;
    let text = '';
    // Outside text elements the pages hold no text but the separators between runs.
    (function walk(node) {
      for (let c = node.firstChild; c; c = c.nextSibling) {
        if (c.nodeType === Node.TEXT_NODE) text += c.data;
        else if (c.nodeType === Node.ELEMENT_NODE && !c.classList.contains('v') && !c.classList.contains('hl')) {
          if (c.localName === 'svg' && text && !text.endsWith('\n')) text += '\n';
          walk(c);
        }
      }
    })(range.cloneContents());
    e.clipboardData.setData('text/plain', text.split('\n').map((l) => l.trim()).join('\n').trim());
    e.preventDefault();
  });

  // ---- Print: every page drawn before the browser lays out the sheets ----
  window.addEventListener('beforeprint', () => {
    for (let i = 0; i < count; i++) load(i);
  });
  window.addEventListener('afterprint', queueUpdate);

  // ---- Start: at 100% or the width of the view, at what the address asks for: #page=N, #search=TEXT,
  // #pagemode=thumbs (joined by &) ----
  const wanted = new URLSearchParams(location.hash.slice(1));
  zoom = Math.min(1, fitZoom('width'));
  pagesEl.style.setProperty('--z', zoom);
  goTo(Number(wanted.get('page') || 1) - 1);
  if (wanted.get('pagemode') === 'thumbs') showThumbs(true);
  if (wanted.get('search')) {
    openFind();
    $('find-text').value = wanted.get('search');
    search(wanted.get('search'));
  }
  if (!count) $('count').textContent = 'No pages';
  document.documentElement.dataset.ready = String(Math.round(performance.now()));
})();
