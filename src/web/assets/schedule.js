// The schedule of a thermostat's page: where it stands (current step, next
// change, writes a day, an override by hand, a clock not yet right), the
// planned band ahead of now on a graph of its own, and for a logged-in user
// an editor of its JSON with Save, Clear and Pause/Resume. Everything comes
// from GET /api/v1/thermostats/ID/schedule and goes back through its PUT,
// DELETE and POST .../pause|resume.
'use strict';

(function () {
  const root = document.documentElement;
  const TEXTS = {
    en: {
      title: 'Schedule', none: 'No schedule.', current: 'Now', next: 'Next change', writes: 'Writes a day',
      overridden: until => 'Overridden by hand until ' + until, overriddenForGood: 'Overridden by hand',
      paused: 'Paused', clock: 'Waiting for the clock to be synchronised; nothing is written until then.',
      save: 'Save', clear: 'Clear', pause: 'Pause', resume: 'Resume', saved: 'Saved', cleared: 'Cleared',
      refused: 'Refused', sending: 'Sending…', planned: 'Planned TL..TH ahead', notJson: 'not JSON: ',
      noUsers: 'Changes need a login: add a user to the file of --web-config.',
    },
    fr: {
      title: 'Programme', none: 'Pas de programme.', current: 'Maintenant', next: 'Prochain changement',
      writes: 'Écritures par jour',
      overridden: until => 'Modifié à la main jusqu’à ' + until, overriddenForGood: 'Modifié à la main',
      paused: 'En pause', clock: 'En attente de la synchronisation de l’horloge ; rien n’est écrit d’ici là.',
      save: 'Enregistrer', clear: 'Effacer', pause: 'Pause', resume: 'Reprendre', saved: 'Enregistré',
      cleared: 'Effacé', refused: 'Refusé', sending: 'Envoi…', planned: 'TL..TH prévus', notJson: 'pas du JSON : ',
      noUsers: 'Modifier demande une connexion : ajoutez un utilisateur au fichier de --web-config.',
    },
  };
  const T = TEXTS[root.lang] || TEXTS.en;
  const POLL_MS = 5000;
  const $ = id => document.getElementById(id);
  const m = location.pathname.match(/^\/thermostat\/([^/]+)$/);
  if (!m || !$('schedule-panel')) return;
  const url = '/api/v1/thermostats/' + encodeURIComponent(decodeURIComponent(m[1])) + '/schedule';
  const state = {last: null, edited: false, chart: null};

  function celsius(v) {
    return v === null || v === undefined ? '–'
      : v.toLocaleString(root.lang, {minimumFractionDigits: 1, maximumFractionDigits: 1}) + ' °C';
  }
  function at(iso) {
    return iso ? new Date(iso).toLocaleString(root.lang) : '–';
  }

  function facts(s) {
    const rows = [];
    if (s.current) rows.push([T.current, celsius(s.current.tl) + ' .. ' + celsius(s.current.th) +
                                         (s.current.mode ? ', ' + s.current.mode : ''), 'current']);
    rows.push([T.next, at(s.next_change), 'next']);
    rows.push([T.writes, s.writes_per_day.toLocaleString(root.lang, {maximumFractionDigits: 1}), 'writes']);
    const dl = document.createElement('dl');
    for (const [name, value, key] of rows) {
      const dt = document.createElement('dt');
      dt.textContent = name;
      const dd = document.createElement('dd');
      dd.textContent = value;
      dd.dataset.key = key;
      dl.append(dt, dd);
    }
    return dl;
  }

  function status(s) {
    const notes = [];
    if (s.paused) notes.push(T.paused);
    if (s.overridden) notes.push(s.overridden_until ? T.overridden(at(s.overridden_until)) : T.overriddenForGood);
    if (!s.clock_synchronised) notes.push(T.clock);
    return notes.join(' ');
  }

  // The band ahead as steps: each value holds until the next.
  function plannedRows(s) {
    const rows = [];
    const planned = s.planned || [];
    for (let i = 0; i < planned.length; ++i) {
      const p = planned[i];
      if (i > 0) rows.push([new Date(p.t * 1000), planned[i - 1].tl, planned[i - 1].th]);
      rows.push([new Date(p.t * 1000), p.tl, p.th]);
    }
    return rows;
  }

  function drawPlan(s) {
    const box = $('plan-chart');
    const rows = plannedRows(s);
    box.dataset.points = String((s.planned || []).length);
    box.hidden = !rows.length || !window.Dygraph;
    if (!rows.length || !window.Dygraph) return;
    if (!state.chart) {
      state.chart = new Dygraph(box, rows, {
        labels: ['time', 'TL', 'TH'], colors: ['#1f6feb', '#e67e22'], fillGraph: true, fillAlpha: 0.08,
        stepPlot: true, strokeWidth: 1.5, ylabel: '°C', title: T.planned,
        axes: {y: {valueFormatter: v => celsius(v)}},
      });
      window.calidorScheduleChart = state.chart;
    } else {
      state.chart.updateOptions({file: rows});
    }
  }

  function show(s) {
    state.last = s;
    $('schedule-facts').replaceChildren(s.schedule ? facts(s) : document.createTextNode(T.none));
    $('schedule-status').textContent = status(s);
    $('schedule-status').dataset.state = s.state;
    $('schedule-pause').textContent = s.paused ? T.resume : T.pause;
    const typing = document.activeElement === $('schedule-json');
    if (!state.edited && !typing)
      $('schedule-json').value = s.schedule ? JSON.stringify(s.schedule, null, 2) : '';
    drawPlan(s);
  }

  async function poll() {
    try {
      const answer = await fetch(url, {cache: 'no-store', credentials: 'same-origin'});
      if (answer.ok) show(await answer.json());
    } catch (e) {
      // The dashboard's own poll says when the service is unreachable.
    }
    setTimeout(poll, POLL_MS);
  }

  function outcome(text, good) {
    const o = $('schedule-outcome');
    o.textContent = text;
    o.className = 'outcome ' + (good ? 'good' : 'bad');
  }

  async function send(method, suffix, body, done) {
    outcome(T.sending, true);
    try {
      const answer = await fetch(url + suffix, {
        method, headers: {'Content-Type': 'application/json'}, body: body === undefined ? '{}' : body,
        credentials: 'same-origin', cache: 'no-store'});
      let json = {};
      try { json = await answer.json(); } catch (e) { json = {reason: String(answer.status)}; }
      if (answer.ok) {
        state.edited = false;
        show(json);
        outcome(done, true);
      } else {
        outcome(T.refused + ': ' + (json.reason || answer.status), false);
      }
    } catch (e) {
      outcome(T.refused + ': ' + (e.message || e), false);
    }
  }

  function setUp() {
    $('schedule-title').textContent = T.title;
    $('schedule-save').textContent = T.save;
    $('schedule-clear').textContent = T.clear;
    $('schedule-pause').textContent = T.pause;
    const may = root.dataset.change === 'yes';
    for (const id of ['schedule-json', 'schedule-save', 'schedule-clear', 'schedule-pause']) $(id).disabled = !may;
    if (!may) {
      $('schedule-note').textContent = T.noUsers;
    } else {
      $('schedule-json').addEventListener('input', () => { state.edited = true; });
      $('schedule-form').addEventListener('submit', event => {
        event.preventDefault();
        const text = $('schedule-json').value;
        try {
          JSON.parse(text);
        } catch (e) {
          outcome(T.refused + ': ' + T.notJson + e.message, false);
          return;
        }
        send('PUT', '', text, T.saved);
      });
      $('schedule-clear').addEventListener('click', () => send('DELETE', '', undefined, T.cleared));
      $('schedule-pause').addEventListener('click', () => {
        const paused = state.last && state.last.paused;
        send('POST', paused ? '/resume' : '/pause', undefined, paused ? T.resume : T.pause);
      });
    }
    poll();
  }

  // The chart library is loaded by the dashboard's script; the band waits for it.
  setUp();
  const wait = setInterval(() => {
    if (!window.Dygraph) return;
    clearInterval(wait);
    if (state.last) drawPlan(state.last);
  }, 250);
  setTimeout(() => clearInterval(wait), 30000);
})();
