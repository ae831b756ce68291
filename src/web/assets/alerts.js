// The dashboard's alerts, beside the cards of `/`: the open incidents,
// asked for as often as the cards are, and a test alert sent to every
// channel for a logged-in user. Served as it is written, as dashboard.js.
'use strict';

(function () {
  const root = document.documentElement;
  const TEXTS = {
    en: {
      title: 'Open incidents', none: 'No open incident', test: 'Send a test alert', sending: 'Sending…',
      queued: n => 'Test alert queued to ' + n + (n === 1 ? ' channel' : ' channels'),
      refused: 'Refused', since: 'since', service: 'the service',
      noUsers: 'Sending a test alert needs a login: add a user to the file of --web-config.',
      kinds: {out_of_band: 'temperature out of band', silent: 'not answering', probe_fault: 'probe fault',
              foreign_change: 'thresholds changed on the thermostat'},
    },
    fr: {
      title: 'Incidents en cours', none: 'Aucun incident en cours', test: 'Envoyer une alerte de test',
      sending: 'Envoi…',
      queued: n => 'Alerte de test confiée à ' + n + (n === 1 ? ' canal' : ' canaux'),
      refused: 'Refusé', since: 'depuis', service: 'le service',
      noUsers: 'Envoyer une alerte de test demande une connexion : ajoutez un utilisateur au fichier de --web-config.',
      kinds: {out_of_band: 'température hors bande', silent: 'ne répond plus', probe_fault: 'défaut de sonde',
              foreign_change: 'seuils changés sur le thermostat'},
    },
  };
  const T = TEXTS[root.lang] || TEXTS.en;
  const POLL_MS = 1000;
  const $ = id => document.getElementById(id);
  if (location.pathname !== '/' || !$('alerts')) return;

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
    for (const c of children) e.append(c);
    return e;
  }

  let shown = null; // the last answer drawn, to redraw only on a change
  function draw(list) {
    const text = JSON.stringify(list);
    if (text === shown) return;
    shown = text;
    const items = list.map(i => {
      const since = new Date(i.since);
      return el('li', {'data-kind': String(i.kind), 'data-id': i.id === null ? '' : String(i.id)},
                el('strong', {}, i.id === null ? T.service : String(i.id)), ' ',
                (T.kinds[i.kind] || String(i.kind)) + (i.detail ? ': ' + String(i.detail) : '') + ' ',
                el('time', {datetime: String(i.since)},
                   '(' + T.since + ' ' + (isNaN(since) ? String(i.since) : since.toLocaleString(root.lang)) + ')'));
    });
    $('incidents').replaceChildren(...(items.length ? items : [el('li', {class: 'none'}, T.none)]));
    $('alerts').dataset.open = String(list.length);
  }

  async function poll() {
    try {
      const answer = await fetch('/api/v1/incidents', {cache: 'no-store', credentials: 'same-origin'});
      if (answer.ok) draw(((await answer.json()).incidents) || []);
    } catch (e) {
      // The cards say when the service cannot be reached.
    }
    setTimeout(poll, POLL_MS);
  }

  function outcome(text, good) {
    const o = $('alert-outcome');
    o.textContent = text;
    o.className = 'outcome ' + (good ? 'good' : 'bad');
  }

  async function sendTest() {
    $('alert-test').disabled = true;
    outcome(T.sending, true);
    try {
      const answer = await fetch('/api/v1/alerts/test', {
        method: 'POST', headers: {'Content-Type': 'application/json'}, body: '{}',
        credentials: 'same-origin', cache: 'no-store'});
      let json = {};
      try { json = await answer.json(); } catch (e) { json = {reason: String(answer.status)}; }
      if (json.ok) outcome(T.queued(json.channels), true);
      else outcome(T.refused + ': ' + (json.reason || answer.status), false);
    } catch (e) {
      outcome(T.refused + ': ' + (e.message || e), false);
    } finally {
      $('alert-test').disabled = false;
    }
  }

  $('alerts-title').textContent = T.title;
  $('alert-test').textContent = T.test;
  if (root.dataset.change === 'yes') {
    $('alert-test').addEventListener('click', sendTest);
  } else {
    $('alert-test').disabled = true;
    $('alert-note').textContent = T.noUsers;
  }
  $('alerts').hidden = false;
  poll();
})();
