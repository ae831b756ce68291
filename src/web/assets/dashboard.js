// The dashboard: cards of every thermostat, kept live by polling the JSON
// API once a second; a thermostat's own page with its graph (dygraphs, from
// Debian), its events, its settings form and a CSV of the range shown. No
// framework and no build step: this file is served as it is written.
'use strict';

(function () {
  const root = document.documentElement;
  const TEXTS = {
    en: {
      title: 'Calidor thermostats', up: 'up', down: 'down', temperature: 'Temperature', band: 'TL..TH',
      relay: 'Relay', mode: 'Mode', probe: 'Probe', read: 'Read', never: 'no reading yet',
      ago: s => s < 2 ? 'just now' : s < 120 ? s + ' s ago' : Math.round(s / 60) + ' min ago',
      live: 'live', offline: 'service unreachable, retrying', unknown: 'no thermostat with this id',
      none: 'no thermostat found yet', settings: 'Settings', apply: 'Apply', events: 'Events', noEvents: 'no event in this range',
      written: 'Written and read back', held: 'Already held, nothing written',
      refused: 'Refused, nothing written', sending: 'Sending…',
      noUsers: 'Changes need a login: add a user to the file of --web-config (calidorctl hash-password makes its hash).',
      noChart: 'The graph is not available: the chart library (libjs-dygraphs) is not installed.',
      hintNumber: 'a temperature such as 18.5', hintOrder: 'TL must lie below TH',
      legend: 'Band: minimum to maximum; line: mean; blue: TL; orange: TH; shaded: relay on C-NO. Drag to zoom, double-click to go back.',
      points: n => n + ' points', loading: 'loading…', noData: 'no history in this range',
      probeText: ['probe working', 'probe short-circuited', 'no probe connected', 'measurement failed its CRC check'],
      ranges: {'1h': '1 h', '24h': '24 h', '7d': '7 d', '30d': '30 d', '1y': '1 year'},
      back: 'All thermostats',
      kinds: {tl: 'TL set', th: 'TH set', mode: 'mode set', plugged: 'plugged in', unplugged: 'unplugged',
              not_answering: 'not answering', back: 'answering again', probe_fault_began: 'probe fault',
              probe_fault_ended: 'probe fault over', service_started: 'service started',
              service_stopped: 'service stopped'},
      by: 'by',
    },
    fr: {
      title: 'Thermostats Calidor', up: 'en ligne', down: 'hors ligne', temperature: 'Température', band: 'TL..TH',
      relay: 'Relais', mode: 'Mode', probe: 'Sonde', read: 'Lu', never: 'pas encore de lecture',
      ago: s => s < 2 ? 'à l’instant' : s < 120 ? 'il y a ' + s + ' s' : 'il y a ' + Math.round(s / 60) + ' min',
      live: 'en direct', offline: 'service injoignable, nouvel essai', unknown: 'aucun thermostat de cet identifiant',
      none: 'aucun thermostat trouvé pour l’instant', settings: 'Réglages', apply: 'Appliquer', events: 'Événements',
      noEvents: 'aucun événement sur cette période',
      written: 'Écrit et relu', held: 'Déjà en place, rien d’écrit',
      refused: 'Refusé, rien d’écrit', sending: 'Envoi…',
      noUsers: 'Modifier demande une connexion : ajoutez un utilisateur au fichier de --web-config (calidorctl hash-password en fait le hachage).',
      noChart: 'Le graphique n’est pas disponible : la bibliothèque de graphiques (libjs-dygraphs) n’est pas installée.',
      hintNumber: 'une température comme 18,5', hintOrder: 'TL doit être inférieur à TH',
      legend: 'Bande : minimum à maximum ; ligne : moyenne ; bleu : TL ; orange : TH ; ombré : relais sur C-NO. Glisser pour zoomer, double-clic pour revenir.',
      points: n => n + ' points', loading: 'chargement…', noData: 'pas d’historique sur cette période',
      probeText: ['sonde en marche', 'sonde en court-circuit', 'pas de sonde branchée', 'mesure au CRC faux'],
      ranges: {'1h': '1 h', '24h': '24 h', '7d': '7 j', '30d': '30 j', '1y': '1 an'},
      back: 'Tous les thermostats',
      kinds: {tl: 'TL réglé', th: 'TH réglé', mode: 'mode réglé', plugged: 'branché', unplugged: 'débranché',
              not_answering: 'ne répond plus', back: 'répond de nouveau', probe_fault_began: 'défaut de sonde',
              probe_fault_ended: 'fin du défaut de sonde', service_started: 'service démarré',
              service_stopped: 'service arrêté'},
      by: 'par',
    },
  };
  const T = TEXTS[root.lang] || TEXTS.en;
  const RANGES = {'1h': 3600, '24h': 86400, '7d': 7 * 86400, '30d': 30 * 86400, '1y': 365 * 86400};
  const POLL_MS = 1000;
  const MOST_POINTS = 2000;
  const $ = id => document.getElementById(id);

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (k === 'class') e.className = v; else e.setAttribute(k, v);
    }
    for (const c of children) e.append(c);
    return e;
  }

  function number(text) {
    return text === null || text === undefined || text === '' ? null : Number(text);
  }

  function celsius(v) {
    if (v === null || v === undefined || Number.isNaN(v)) return '–';
    return v.toLocaleString(root.lang, {minimumFractionDigits: 1, maximumFractionDigits: 1}) + ' °C';
  }

  function when(t) {
    if (t === null || t === undefined || t === '') return null;
    return typeof t === 'number' ? new Date(t * 1000) : new Date(t);
  }

  // One thermostat of GET /api/v1/thermostats, in the keys of `read --format json`.
  function thermostatOf(raw) {
    const r = raw.reading || raw.last_reading || null;
    return {
      id: String(raw.id),
      up: !!raw.up,
      readAt: when(raw.read_at || raw.readAt || raw.timestamp || (r && r.timestamp)),
      temperature: r ? number(r.temperature_celsius) : null,
      tl: r ? number(r.tl_celsius) : null,
      th: r ? number(r.th_celsius) : null,
      contact: r ? r.relay_contact : null,
      mode: r ? r.relay_mode : null,
      probe: r ? r.probe_status : null,
      probeText: r ? r.probe_status_text : null,
      hasReading: !!r,
    };
  }

  function listOf(json) {
    const list = Array.isArray(json) ? json : (json.thermostats || []);
    return list.map(thermostatOf).sort((a, b) => a.id < b.id ? -1 : a.id > b.id ? 1 : 0);
  }

  async function getJson(url) {
    const answer = await fetch(url, {cache: 'no-store', credentials: 'same-origin'});
    if (!answer.ok) throw new Error(url + ': ' + answer.status);
    return answer.json();
  }

  // ---- cards ---------------------------------------------------------------

  function cardBody(t) {
    const probe = t.probe !== null && T.probeText[t.probe] !== undefined ? T.probeText[t.probe] : (t.probeText || '–');
    const ago = t.readAt ? T.ago(Math.max(0, Math.round((Date.now() - t.readAt.getTime()) / 1000))) : T.never;
    const rows = [
      [T.band, t.hasReading ? celsius(t.tl) + ' .. ' + celsius(t.th) : '–', 'band'],
      [T.relay, t.contact || '–', 'relay'],
      [T.mode, t.mode || '–', 'mode'],
      [T.probe, probe, 'probe'],
      [T.read, ago, 'read'],
    ];
    const dl = el('dl');
    for (const [name, value, key] of rows) {
      const dd = el('dd', {'data-key': key}, value);
      if (key === 'relay' && t.contact === 'C-NO') dd.className = 'relay-on';
      dl.append(el('dt', {}, name), dd);
    }
    return [
      el('div', {class: 'top'}, el('span', {class: 'id'}, t.id),
         el('span', {class: t.up ? 'badge' : 'badge down', 'data-key': 'up'}, t.up ? T.up : T.down)),
      el('div', {class: 'temp', 'data-key': 'temperature'}, t.hasReading ? celsius(t.temperature) : T.never),
      dl,
    ];
  }

  // Replaces a card's content only when its text changed, so that a
  // reader's selection or focus is not lost once a second.
  function showCard(container, t, link) {
    let card = container.querySelector('[data-id="' + CSS.escape(t.id) + '"]');
    if (!card) {
      card = link ? el('a', {class: 'card', href: '/thermostat/' + encodeURIComponent(t.id)})
                  : el('div', {class: 'card'});
      card.dataset.id = t.id;
      container.append(card);
    }
    const fresh = el('div', {}, ...cardBody(t));
    if (card.innerHTML !== fresh.innerHTML) card.replaceChildren(...fresh.childNodes);
    return card;
  }

  // ---- the graph -----------------------------------------------------------

  const graph = {id: null, range: '24h', from: 0, to: 0, dygraph: null, series: [], events: [], step: 60, busy: 0};

  function loadChartLibrary() {
    return new Promise((resolve, reject) => {
      if (window.Dygraph) return resolve();
      document.head.append(el('link', {rel: 'stylesheet', href: '/javascript/dygraphs/dygraph.min.css'}));
      const s = el('script', {src: '/javascript/dygraphs/dygraph.min.js'});
      s.onload = resolve;
      s.onerror = reject;
      document.head.append(s);
    });
  }

  function historyUrl(from, to, points, csv) {
    return '/api/v1/thermostats/' + encodeURIComponent(graph.id) + '/history?from=' + Math.floor(from) +
           '&to=' + Math.ceil(to) + '&points=' + points + (csv ? '&format=csv' : '');
  }

  function pointsWanted() {
    const width = $('chart').clientWidth || 600;
    return Math.min(MOST_POINTS, Math.max(100, Math.round(width * 1.5)));
  }

  async function fetchRange(from, to) {
    const ticket = ++graph.busy;
    graph.from = from;
    graph.to = to;
    const points = pointsWanted();
    $('csv').href = historyUrl(from, to, points, true);
    $('csv').setAttribute('download', graph.id + '-' + new Date(from * 1000).toISOString().slice(0, 16) + '.csv');
    $('chart-note').textContent = T.loading;
    let json;
    try {
      json = await getJson(historyUrl(from, to, points, false));
    } catch (e) {
      $('chart-note').textContent = String(e.message || e);
      return;
    }
    if (ticket !== graph.busy) return; // a later range was asked for meanwhile
    graph.step = json.step_seconds || 60;
    graph.series = json.series || [];
    // The relay's switching is the shading already; the other events are marked.
    graph.events = (json.events || []).filter(e => (e.kind || e.type) !== 'relay')
                                      .map(e => Object.assign({}, e, {when: when(e.t || e.time)}));
    draw();
    showEvents();
  }

  function rowsOf(series) {
    const rows = [];
    for (const p of series) {
      const t = when(p.t);
      const bar = (lo, mid, hi) => (mid === null || mid === undefined) ? null : [lo, mid, hi];
      rows.push([t, bar(p.temperature_min, p.temperature_mean, p.temperature_max),
                 p.tl === null || p.tl === undefined ? null : [p.tl, p.tl, p.tl],
                 p.th === null || p.th === undefined ? null : [p.th, p.th, p.th]]);
    }
    return rows;
  }

  // Relay time on C-NO as shading under each step, and events as thin lines.
  function underlay(ctx, area, g) {
    const stepMs = graph.step * 1000;
    for (const p of graph.series) {
      const f = p.relay_on_fraction;
      if (!f) continue;
      const t = when(p.t).getTime();
      const x0 = g.toDomXCoord(t), x1 = g.toDomXCoord(t + stepMs);
      ctx.fillStyle = 'rgba(192, 57, 43, ' + (0.06 + 0.2 * Math.min(1, f)).toFixed(3) + ')';
      ctx.fillRect(x0, area.y, Math.max(1, x1 - x0), area.h);
    }
    ctx.strokeStyle = 'rgba(31, 111, 235, 0.7)';
    ctx.setLineDash([3, 3]);
    for (const e of graph.events) {
      if (!e.when) continue;
      const x = g.toDomXCoord(e.when.getTime());
      if (x < area.x || x > area.x + area.w) continue;
      ctx.beginPath();
      ctx.moveTo(x, area.y);
      ctx.lineTo(x, area.y + area.h);
      ctx.stroke();
    }
    ctx.setLineDash([]);
  }

  function draw() {
    const rows = rowsOf(graph.series);
    const box = $('chart');
    box.dataset.points = String(rows.length);
    box.dataset.from = String(graph.from);
    box.dataset.to = String(graph.to);
    $('chart-note').textContent = rows.length ? T.points(rows.length) : T.noData;
    const data = rows.length ? rows : [[new Date(graph.from * 1000), null, null, null],
                                       [new Date(graph.to * 1000), null, null, null]];
    const options = {
      file: data,
      dateWindow: [graph.from * 1000, graph.to * 1000],
    };
    if (!graph.dygraph) {
      graph.dygraph = new Dygraph(box, data, Object.assign(options, {
        labels: ['time', T.temperature, 'TL', 'TH'],
        customBars: true,
        colors: ['#c0392b', '#1f6feb', '#e67e22'],
        strokeWidth: 1.5,
        connectSeparatedPoints: false,
        ylabel: '°C',
        labelsDiv: $('legend-values') || undefined,
        labelsSeparateLines: false,
        legend: 'follow',
        underlayCallback: underlay,
        zoomCallback: zoomed,
        axes: {y: {valueFormatter: v => celsius(v)}},
      }));
      window.calidorChart = graph.dygraph;
    } else {
      graph.dygraph.updateOptions(options);
    }
    box.dataset.drawnAt = String(performance.now());
  }

  // Drag-to-zoom asks the service again for the narrower range, so the
  // detail grows while the points held stay under MOST_POINTS.
  function zoomed(minX, maxX) {
    if (graph.dygraph && graph.dygraph.isZoomed('x'))
      fetchRange(minX / 1000, maxX / 1000);
    else
      chooseRange(graph.range);
  }

  function chooseRange(name) {
    graph.range = name;
    // The range is part of the address, so a bookmark keeps it.
    history.replaceState(null, '', '#range=' + name);
    for (const b of $('ranges').querySelectorAll('button'))
      b.setAttribute('aria-pressed', b.dataset.range === name ? 'true' : 'false');
    const now = Date.now() / 1000;
    fetchRange(now - RANGES[name], now);
  }

  function eventText(e) {
    const kind = e.kind || e.type || '';
    const parts = [T.kinds[kind] || kind];
    if (e.detail !== undefined && e.detail !== null && e.detail !== '') parts.push(String(e.detail));
    if (e.source) parts.push('(' + T.by + ' ' + e.source + ')');
    return parts.join(' ');
  }

  function showEvents() {
    const list = $('events');
    const items = graph.events.slice(-200).reverse().map(e =>
      el('li', {}, el('time', {}, e.when ? e.when.toLocaleString(root.lang) : ''), eventText(e)));
    list.replaceChildren(...(items.length ? items : [el('li', {}, T.noEvents)]));
  }

  // ---- the settings form ---------------------------------------------------

  const form = {edited: false};

  function fill(t) {
    // What the user is typing is left alone.
    const typing = ['tl', 'th', 'mode'].some(id => document.activeElement === $(id));
    if (form.edited || typing || !t.hasReading) return;
    $('tl').value = t.tl === null ? '' : String(t.tl);
    $('th').value = t.th === null ? '' : String(t.th);
    if (t.mode) $('mode').value = t.mode;
  }

  // A hint only: the service checks again and decides.
  function hint() {
    const ok = v => /^[+-]?\d*([.,]\d)?$/.test(v.trim()) && /\d/.test(v);
    const tl = $('tl').value, th = $('th').value;
    let text = '';
    if ((tl && !ok(tl)) || (th && !ok(th))) text = T.hintNumber;
    else if (tl && th && Number(tl.replace(',', '.')) >= Number(th.replace(',', '.'))) text = T.hintOrder;
    $('change-note').textContent = text;
  }

  function outcome(text, good) {
    const o = $('outcome');
    o.textContent = text;
    o.className = 'outcome ' + (good ? 'good' : 'bad');
  }

  async function submit(event) {
    event.preventDefault();
    const body = {mode: $('mode').value};
    for (const k of ['tl', 'th']) {
      const v = $(k).value.trim();
      if (v) body[k] = v;
    }
    outcome(T.sending, true);
    $('apply').disabled = true;
    try {
      const answer = await fetch('/api/v1/thermostats/' + encodeURIComponent(graph.id) + '/settings', {
        method: 'POST', headers: {'Content-Type': 'application/json'}, body: JSON.stringify(body),
        credentials: 'same-origin', cache: 'no-store'});
      let json = {};
      try { json = await answer.json(); } catch (e) { json = {reason: String(answer.status)}; }
      if (json.ok) {
        const held = 'TL ' + celsius(json.tl) + ', TH ' + celsius(json.th) + ', ' + T.mode.toLowerCase() + ' ' + json.mode;
        outcome((json.written ? T.written : T.held) + ': ' + held, true);
        form.edited = false;
      } else {
        outcome(T.refused + ': ' + (json.reason || answer.status), false);
      }
    } catch (e) {
      outcome(T.refused + ': ' + (e.message || e), false);
    } finally {
      $('apply').disabled = false;
    }
  }

  function setUpForm() {
    const may = root.dataset.change === 'yes';
    for (const id of ['tl', 'th', 'mode', 'apply']) $(id).disabled = !may;
    if (!may) {
      $('change-note').textContent = T.noUsers;
      return;
    }
    for (const id of ['tl', 'th', 'mode']) {
      $(id).addEventListener('focus', () => { form.edited = true; });
      $(id).addEventListener('input', () => { form.edited = true; hint(); });
    }
    $('settings').addEventListener('submit', submit);
  }

  // ---- the views -----------------------------------------------------------

  function setLive(ok) {
    $('live').textContent = ok ? T.live : T.offline;
    $('live').dataset.ok = ok ? 'yes' : 'no';
  }

  async function pollList() {
    try {
      const list = listOf(await getJson('/api/v1/thermostats'));
      const cards = $('cards');
      for (const t of list) showCard(cards, t, true);
      for (const c of [...cards.children])
        if (c.dataset.id && !list.some(t => t.id === c.dataset.id)) c.remove();
      if (!list.length) cards.replaceChildren(el('p', {class: 'note'}, T.none));
      else cards.querySelector('p.note')?.remove();
      setLive(true);
    } catch (e) {
      setLive(false);
    }
    setTimeout(pollList, POLL_MS);
  }

  async function pollOne() {
    try {
      const list = listOf(await getJson('/api/v1/thermostats'));
      const t = list.find(x => x.id === graph.id);
      if (t) {
        showCard($('detail-card'), t, false);
        fill(t);
      } else {
        $('detail-card').replaceChildren(el('p', {class: 'note'}, T.unknown));
      }
      setLive(true);
    } catch (e) {
      setLive(false);
    }
    setTimeout(pollOne, POLL_MS);
  }

  function texts() {
    document.title = T.title;
    $('home').textContent = T.title;
    $('settings-title').textContent = T.settings;
    $('mode-label').textContent = T.mode;
    $('apply').textContent = T.apply;
    $('events-title').textContent = T.events;
    $('legend').textContent = T.legend;
  }

  function start() {
    texts();
    $('plain').hidden = true;
    const m = location.pathname.match(/^\/thermostat\/([^/]+)$/);
    if (!m) {
      $('cards').hidden = false;
      pollList();
      return;
    }
    graph.id = decodeURIComponent(m[1]);
    const asked = (location.hash.match(/range=(\w+)/) || [])[1];
    if (RANGES[asked]) graph.range = asked;
    document.title = graph.id + ' – ' + T.title;
    $('home').textContent = '← ' + T.back;
    $('detail').hidden = false;
    for (const name of Object.keys(RANGES)) {
      const b = el('button', {type: 'button', 'data-range': name}, T.ranges[name]);
      b.addEventListener('click', () => chooseRange(name));
      $('ranges').append(b);
    }
    setUpForm();
    pollOne();
    if (root.dataset.chart !== 'yes') {
      $('chart-note').textContent = T.noChart;
      $('ranges').hidden = true;
      return;
    }
    loadChartLibrary().then(() => chooseRange(graph.range),
                            () => { $('chart-note').textContent = T.noChart; });
  }

  start();
})();
