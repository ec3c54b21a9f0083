// The pupil's page of the class server: sign-in, the activities and the fact map. The page
// only shows questions and sends answers; the teacher's program deals and grades.
//
// Everything the server sends is text: names and messages go into the page through
// textContent only. Answers to grade and to mark are kept in localStorage with the set they
// belong to and sent again until the server answers (it answers a repeat with the same reply
// and counts nothing twice), so a tablet that loses the network, or is reloaded, keeps the
// pupil's work.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const L = globalThis.PageLogic;
  const { KEYS, Refused, oneByOne, filled } = L;

  const TITLES = {
    practice: 'れんしゅう', novice: 'レベル1', intermediate: 'レベル2', expert: 'レベル3',
    challenge: 'チャレンジ', weak: 'にがて れんしゅう',
  };
  const LEVELS = ['novice', 'intermediate', 'expert'];
  const store = L.makeStore(() => localStorage);

  let token = store.get(KEYS.tablet) || '';
  let session = null;   // { pupil, messages }
  let drill = null;     // the set being worked on (see PageLogic.newDrill), saved after every change
  let current = -1;     // the box the pad types into
  let readyAt = [];     // when each box could first be answered (not kept over a reload)
  let sending = false;
  let clockTimer = 0;
  let fullmarksBack = 'home';

  // ---- network ---------------------------------------------------------------------------

  let waitingCount = 0;
  function setWaiting(delta) {
    waitingCount += delta;
    $('waiting').hidden = waitingCount === 0;
  }

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  // Sends one verb until the server answers it. No answer, a rate limit (429) or a server
  // that could not save (5xx) are waited out with the notice shown; a refusal in words comes
  // back as Refused.
  async function post(verb, body) {
    let delay = L.FIRST_DELAY;
    let waiting = false;
    let trouble = '';
    try {
      for (;;) {
        let res = null;
        let data = null;
        try {
          const headers = { 'Content-Type': 'application/json' };
          if (verb !== 'hello') headers['X-Tablet'] = token;
          res = await fetch('api/' + verb, {
            method: 'POST', headers, body: JSON.stringify(body), cache: 'no-store',
          });
          data = await res.json();
        } catch (e) {
          data = null;
        }
        const kind = L.replyKind(res, data);
        if (kind === 'done') return data;
        if (kind === 'refused') throw new Refused(res.status, data);
        // A server that cannot save or take more tablets says why; the page goes on asking.
        if (kind === 'trouble') {
          trouble = data.error;
          showError(trouble);
        }
        if (!waiting) {
          waiting = true;
          setWaiting(1);
        }
        await sleep(L.waitBefore(res, delay));
        delay = L.nextDelay(delay);
      }
    } finally {
      if (waiting) setWaiting(-1);
      if (trouble && $('error').textContent === trouble) showError('');
    }
  }

  function showError(text) {
    $('error').textContent = text || '';
    $('error').hidden = !text;
  }

  function say(text) {
    // The same words twice in a row are still spoken: empty the region first.
    const region = $('say');
    region.textContent = '';
    setTimeout(() => { region.textContent = text; }, 50);
  }

  // What every refusal but the activity's own leads to.
  async function refused(e) {
    if (!(e instanceof Refused)) throw e;
    const step = L.afterRefusal(e.code);
    if (step === 'tablet') {
      // The server no longer knows this tablet: a new token, and the pupil signs in again.
      token = '';
      store.drop(KEYS.tablet);
      forgetPupil();
      showError(e.text);
      await hello();
      showSignIn();
      return;
    }
    if (step === 'gone') return showGone();
    if (step === 'signin') {
      forgetPupil();
      showError(e.text);
      showSignIn();
      return;
    }
    showError(e.text);
  }

  // ---- screens ---------------------------------------------------------------------------

  let shown = '';
  function show(name) {
    for (const screen of document.querySelectorAll('.screen'))
      screen.hidden = screen.id !== 'screen-' + name;
    shown = name;
    $('home-button').hidden = !session || name === 'home' || name === 'signin';
    $('home-button').disabled = false;
    $('pupil-name').textContent = session ? session.pupil + ' さん' : '';
    if (name !== 'drill') stopClock();
    if (name !== 'check') stopCheckClock();
    window.scrollTo(0, 0);
    // The screen's first control takes the focus, so that a keyboard or a screen reader
    // starts there and not at the top of the page (a drill then puts it in the box in hand).
    const first = [...$('screen-' + name).querySelectorAll('button, input')]
      .find((c) => !c.disabled && c.getClientRects().length > 0);
    if (first) first.focus({ preventScroll: true });
  }

  // An old class code: the page says to scan the teacher's new one, and keeps nothing.
  function showGone() {
    forgetPupil();
    token = '';
    store.drop(KEYS.tablet);
    showError('');
    show('gone');
  }

  function forgetPupil() {
    session = null;
    drill = null;
    store.drop(KEYS.session);
    store.drop(KEYS.drill);
  }

  async function hello() {
    const reply = await post('hello', token ? { tablet: token } : {});
    const same = reply.tablet === token;
    token = String(reply.tablet);
    store.put(KEYS.tablet, token);
    $('class-name').textContent = reply.className || '';
    $('tablet-name').textContent = reply.name ? 'この たんまつ: ' + reply.name : '';
    return same;
  }

  async function showSignIn() {
    show('signin');
    $('signin-name').value = '';
    const list = $('names');
    list.textContent = '';
    try {
      const reply = await post('names', {});
      const names = Array.isArray(reply.names) ? reply.names : [];
      for (const name of names) {
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'big name';
        button.textContent = String(name);
        button.addEventListener('click', () => signIn(String(name)));
        list.appendChild(button);
      }
      $('names-title').hidden = names.length === 0;
    } catch (e) {
      await refused(e);
    }
  }

  // The name goes as typed (the program decides what a name is); a blank box sends nothing.
  async function signIn(name) {
    if (!name.trim()) return;
    showError('');
    try {
      const reply = await post('signin', { name });
      session = { pupil: String(reply.pupil), messages: reply.messages || {} };
      store.put(KEYS.session, session);
      // A sign-in starts the tablet's sets afresh on the server.
      drill = null;
      saveDrill();
      showHome();
    } catch (e) {
      await refused(e);
    }
  }

  function showHome() {
    show('home');
    $('home-title').textContent = session.pupil + ' さん、なにを しますか？';
  }

  async function signOut() {
    showError('');
    try {
      await post('signout', {});
    } catch (e) {
      if (!(e instanceof Refused)) throw e;
    }
    forgetPupil();
    showSignIn();
  }

  // ---- dealing ---------------------------------------------------------------------------

  async function deal(activity, row) {
    showError('');
    const body = { activity };
    if (activity === 'practice') body.row = row;
    try {
      const reply = await post('deal', body);
      drill = L.newDrill(reply, session.pupil, Date.now());
      drill.askedRow = row || 0;
      saveDrill();
      openDrill();
    } catch (e) {
      await refused(e);
    }
  }

  // A level or challenge set left with numbers typed and no grading: its boxes are sent to
  // the log as unfinished (in the background: the pupil goes on), and it is not taken up again.
  function leaveSet() {
    const request = L.leaveRequest(drill);
    if (!request) return;
    drill.left = true;
    saveDrill();
    post(request.verb, request.body).catch(() => {});
  }

  function saveDrill() {
    if (drill) store.put(KEYS.drill, drill);
    else store.drop(KEYS.drill);
  }

  // An activity chosen on the home screen: its set in hand is taken up again, else a new one.
  function go(activity) {
    showError('');
    if (!L.takesUp(drill, activity)) leaveSet();
    if (activity === 'facts') return showFacts();
    if (activity === 'kentei') return showKentei();
    if (activity === 'fullmarks') return showFullmarks('novice', 'home');
    if (activity === 'practice') return showRows();
    if (L.takesUp(drill, activity)) return openDrill();
    return deal(activity);
  }

  function showRows() {
    const rows = $('rows');
    if (!rows.childElementCount) buildRows(rows);
    show('rows');
  }

  function buildRows(rows) {
    for (let r = 1; r <= 10; ++r) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'big';
      button.textContent = r <= 9 ? r + 'のだん' : 'どれかのだん';
      button.addEventListener('click', () => deal('practice', r <= 9 ? r : 0));
      rows.appendChild(button);
    }
  }

  // ---- the drill screen ------------------------------------------------------------------

  function spoken(q) {
    return q.a + ' かける ' + q.b;
  }

  function markElement(index) {
    const mark = document.createElement('span');
    mark.className = 'mark';
    mark.id = 'mark-' + index;
    const seen = document.createElement('span');
    seen.setAttribute('aria-hidden', 'true');
    const heard = document.createElement('span');
    heard.className = 'sr';
    mark.append(seen, heard);
    return mark;
  }

  function boxElement(index, q) {
    const box = document.createElement('input');
    box.type = 'text';
    box.className = 'box';
    box.readOnly = true;
    box.setAttribute('inputmode', 'none');
    box.setAttribute('autocomplete', 'off');
    box.setAttribute('aria-label', spoken(q));
    box.setAttribute('aria-describedby', 'mark-' + index);
    box.dataset.index = String(index);
    box.dataset.a = String(q.a);
    box.dataset.b = String(q.b);
    box.addEventListener('click', () => select(index));
    box.addEventListener('focus', () => { if (current !== index) select(index); });
    return box;
  }

  function buildSheet(d) {
    const sheet = $('sheet');
    sheet.textContent = '';
    sheet.className = 'sheet ' + (d.activity === 'challenge' ? 'grid' : 'list');
    if (d.activity === 'challenge') {
      const table = document.createElement('table');
      const head = table.insertRow();
      const corner = document.createElement('th');
      corner.textContent = '×';
      head.appendChild(corner);
      for (const c of d.columns) {
        const th = document.createElement('th');
        th.textContent = String(c);
        head.appendChild(th);
      }
      for (let r = 0; r < 9; ++r) {
        const tr = table.insertRow();
        const th = document.createElement('th');
        th.textContent = String(d.rows[r]);
        tr.appendChild(th);
        for (let c = 0; c < 9; ++c) {
          const i = r * 9 + c;
          const td = tr.insertCell();
          td.className = 'q';
          td.append(boxElement(i, d.questions[i]), markElement(i));
        }
      }
      sheet.appendChild(table);
      return;
    }
    d.questions.forEach((q, i) => {
      const row = document.createElement('div');
      row.className = 'q';
      const text = document.createElement('span');
      text.className = 'q-text';
      text.setAttribute('aria-hidden', 'true');
      text.textContent = q.a + ' × ' + q.b + ' =';
      row.append(text, boxElement(i, q), markElement(i));
      sheet.appendChild(row);
    });
    sheet.style.setProperty('--rows', String(Math.ceil(d.questions.length / 2)));
  }

  function openDrill() {
    const d = drill;
    show('drill');
    $('screen-drill').dataset.activity = d.activity;
    $('screen-drill').classList.toggle('graded', !oneByOne(d));
    $('drill-title').textContent = TITLES[d.activity] + (d.activity === 'practice' ? ' ' + d.row + 'のだん' : '');
    buildSheet(d);
    readyAt = d.questions.map(() => 0);
    current = -1;
    if (oneByOne(d)) {
      if (d.open < d.questions.length) select(d.open);
    } else {
      select(L.firstToDo(d));
    }
    if (d.activity === 'challenge') startClock();
    else stopClock();
    render();
    flushPending();
  }

  // Brings the whole drill screen in line with the saved set.
  function render() {
    const d = drill;
    if (!d || shown !== 'drill') return;
    const boxes = $('sheet').querySelectorAll('.box');
    const rows = $('sheet').querySelectorAll('.q');
    d.questions.forEach((q, i) => {
      const box = boxes[i];
      box.value = d.answers[i];
      box.classList.toggle('current', i === current);
      const locked = oneByOne(d) && i !== d.open;
      box.disabled = locked;
      if (oneByOne(d)) rows[i].classList.toggle('later', i > d.open);
      const mark = $('mark-' + i);
      const m = d.marks[i];
      mark.firstChild.textContent = m;
      // A missed question of にがて れんしゅう is told its answer beside the mark, set apart
      // from the box (which then stays empty).
      const told = m === '×' && d.activity === 'weak';
      if (told) {
        box.value = '';
        const answer = document.createElement('span');
        answer.className = 'told';
        answer.textContent = 'こたえ ' + d.answers[i];
        mark.firstChild.append(' ', answer);
      }
      mark.lastChild.textContent = m === '◎' ? 'せいかい' : told ? 'まちがい。こたえは ' + d.answers[i] : m ? 'まちがい' : '';
      mark.className = 'mark' + (m === '◎' ? ' right' : m ? ' wrong' : '');
      rows[i].classList.toggle('wrong', m !== '' && m !== '◎');
    });
    const level = LEVELS.includes(d.activity);
    const message = level || d.activity === 'challenge'
      ? (d.graded && d.graded.message) || (session.messages && session.messages[d.activity]) || ''
      : '';
    // The desktop's messages space their sentences apart for its label; here each goes on a
    // line of its own.
    $('drill-message').textContent = message.replace(/[ \u3000]{2,}/g, '\n');
    $('drill-message').hidden = !message;
    $('score').textContent = L.scoreText(d);
    $('grade-button').hidden = oneByOne(d) || !d.answers.every(filled);
    $('grade-button').disabled = !!d.pending;
    $('again-button').disabled = !!d.pending;
    $('home-button').disabled = !!d.pending;
    $('drill-fullmarks').hidden = !(level || d.activity === 'challenge');
    $('pad').classList.toggle('off', oneByOne(d) && !!d.summary);
  }

  function select(index) {
    const d = drill;
    if (!d || index < 0 || index >= d.questions.length) return;
    if (oneByOne(d) && index !== d.open) return;
    if (current >= 0 && current !== index) confirmed(current);
    current = index;
    if (!readyAt[index]) readyAt[index] = Date.now();
    render();
    const box = $('sheet').querySelectorAll('.box')[index];
    if (document.activeElement !== box) box.focus({ preventScroll: true });
    box.scrollIntoView({ block: 'nearest' });
  }

  // The first confirm of a number in a box fixes its time.
  function confirmed(index) {
    const d = drill;
    L.confirmFirst(d, index);
    if (filled(d.answers[index]) && d.ms[index] === null && readyAt[index])
      d.ms[index] = L.told(Date.now() - readyAt[index]);
  }

  // A key of the pad or of a hardware keyboard: a digit, Backspace or Enter.
  function press(key) {
    const d = drill;
    if (!d || shown !== 'drill' || !L.takesKeys(d, current)) return;
    const value = d.answers[current];
    if (key === 'Enter') {
      if (!filled(value)) return;
      if (oneByOne(d)) return sendAnswer();
      confirmed(current);
      const next = L.nextEmpty(d, current);
      if (next >= 0) select(next);
      else sendGrade();
    } else {
      const changed = L.typed(value, key);
      if (changed === null) return;
      d.answers[current] = changed;
      if (!oneByOne(d)) d.marks[current] = '';
    }
    saveDrill();
    render();
  }

  function sendGrade() {
    const d = drill;
    if (d.pending || !d.answers.every(filled)) return;
    if (current >= 0) confirmed(current);
    // A box typed before a reload is graded only once confirmed.
    const unconfirmed = L.nextEmpty(d, Math.max(current, 0));
    if (unconfirmed >= 0) return select(unconfirmed);
    d.pending = L.gradeRequest(d);
    saveDrill();
    render();
    flushPending();
  }

  function sendAnswer() {
    const d = drill;
    d.pending = L.answerRequest(d, readyAt[d.open], Date.now());
    saveDrill();
    render();
    flushPending();
  }

  // Sends the set's waiting request until the server answers, then shows the answer.
  async function flushPending() {
    const d = drill;
    if (!d || !d.pending || sending) return;
    sending = true;
    const request = d.pending;
    try {
      const reply = await post(request.verb, request.body);
      d.pending = null;
      if (request.verb === 'grade') graded(d, reply);
      else answered(d, request.body, reply);
    } catch (e) {
      d.pending = null;
      if (drill === d && e instanceof Refused && e.code === 'set') {
        // The set is gone on the server (it was left, or the program started again).
        drill = null;
        showError(e.text);
        saveDrill();
        if (session) showHome();
        return;
      }
      await refused(e);
    } finally {
      sending = false;
    }
    if (drill === d) {
      saveDrill();
      render();
    }
  }

  function graded(d, reply) {
    L.applyGrade(d, reply, Date.now());
    if (reply.message && session) {
      session.messages[d.activity] = reply.message;
      store.put(KEYS.session, session);
    }
    say(L.scoreText(d));
  }

  function answered(d, body, reply) {
    say(L.applyAnswer(d, body, reply));
    if (reply.done) setTimeout(() => say(d.summary), 800);
    if (drill === d && shown === 'drill' && d.open < d.questions.length) {
      current = -1;
      select(d.open);
    }
  }

  function startClock() {
    stopClock();
    const tick = () => {
      const d = drill;
      if (!d || d.activity !== 'challenge') return;
      const seconds = Math.floor(((d.finishedAt || Date.now()) - d.dealtAt) / 1000);
      const m = Math.floor(seconds / 60);
      const s = seconds % 60;
      $('clock').textContent = m + '分 ' + (s < 10 ? '0' : '') + s + 'びょう';
    };
    $('clock').hidden = false;
    tick();
    clockTimer = setInterval(tick, 1000);
  }

  function stopClock() {
    clearInterval(clockTimer);
    clockTimer = 0;
    $('clock').hidden = true;
  }

  // ---- 九九けんてい ------------------------------------------------------------------------
  // The pupil picks a row the class has learned and a way; the nine questions come one at a
  // time, each answer is graded and logged by the program at once, and the program says when
  // the check is over and how. The card is the program's, read from the logs.

  const WAYS = { up: 'あがり', down: 'さがり', mixed: 'ばらばら' };
  const kentei = { rows: [], limits: {}, row: 0, way: 'up' };
  let check = null; // { set, row, way, order, limitMs, index, typed, readyAt, doneMs, pending, over }
  let checkTimer = 0;

  // A number and its unit never part at a line's end.
  const seconds = (ms) => (ms / 1000).toFixed(1) + '\u00a0びょう';

  async function showKentei() {
    check = null;
    try {
      const reply = await post('checkrows', {});
      kentei.rows = (Array.isArray(reply.rows) ? reply.rows : []).filter((r) => Number.isInteger(r) && r >= 1 && r <= 9);
      kentei.limits = reply.limits && typeof reply.limits === 'object' ? reply.limits : {};
      if (!kentei.rows.includes(kentei.row)) kentei.row = kentei.rows[0] || 0;
      const list = $('kentei-rows');
      list.textContent = '';
      for (const r of kentei.rows) {
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'big';
        button.dataset.row = String(r);
        button.textContent = r + 'のだん';
        button.addEventListener('click', () => { kentei.row = r; renderKentei(); });
        list.appendChild(button);
      }
      $('kentei-none').hidden = kentei.rows.length > 0;
      show('kentei');
      renderKentei();
    } catch (e) {
      await refused(e);
    }
  }

  function renderKentei() {
    for (const b of $('kentei-rows').children) b.setAttribute('aria-pressed', String(Number(b.dataset.row) === kentei.row));
    for (const b of $('kentei-ways').children) b.setAttribute('aria-pressed', String(b.dataset.way === kentei.way));
    const ms = Number(kentei.limits[kentei.way]) || 0;
    $('kentei-limit').textContent = !kentei.row ? ''
      : kentei.row + 'のだん ' + WAYS[kentei.way] + '：' + (ms ? ms / 1000 + ' びょう いないで 9もん' : '9もん');
    $('kentei-start').disabled = !kentei.row;
  }

  async function startCheck(row, way) {
    if (!row || (check && check.pending)) return;
    showError('');
    try {
      const reply = await post('check', { row, way });
      check = {
        set: String(reply.set), row: Number(reply.row), way: WAYS[reply.way] ? reply.way : way,
        order: Array.isArray(reply.order) ? reply.order.map(Number) : [], limitMs: Number(reply.limitMs) || 0,
        index: 0, typed: '', readyAt: 0, doneMs: 0, pending: false, over: false,
      };
      show('check');
      $('check-title').textContent = check.row + 'のだん ' + WAYS[check.way];
      $('check-reading').textContent = '';
      askCheck();
      startCheckClock();
    } catch (e) {
      await refused(e);
    }
  }

  // The question in hand: its time runs from now.
  function askCheck() {
    const c = check;
    c.typed = '';
    c.readyAt = Date.now();
    const b = c.order[c.index];
    $('check-question').textContent = c.row + ' × ' + b + ' =';
    $('check-box').setAttribute('aria-label', c.row + ' かける ' + b);
    $('check-count').textContent = (c.index + 1) + ' / 9';
    renderCheck();
    $('check-box').focus({ preventScroll: true });
  }

  function renderCheck() {
    const c = check;
    if (!c) return;
    $('check-box').value = c.typed;
    $('check-pad').classList.toggle('off', c.over);
    $('home-button').disabled = c.pending;
  }

  function checkPress(key) {
    const c = check;
    if (!c || c.over || c.pending) return;
    if (key === 'Enter') {
      if (filled(c.typed)) sendCheckAnswer();
      return;
    }
    const changed = L.typed(c.typed, key);
    if (changed === null) return;
    c.typed = changed;
    renderCheck();
  }

  async function sendCheckAnswer() {
    const c = check;
    const ms = L.told(Date.now() - c.readyAt);
    const b = c.order[c.index];
    c.pending = true;
    renderCheck();
    let reply;
    try {
      reply = await post('checkanswer', { set: c.set, index: c.index, given: Number(c.typed), ms });
    } catch (e) {
      c.pending = false;
      if (check !== c) return;
      check = null;
      if (e instanceof Refused && (e.code === 'set' || e.code === 'order')) {
        showError(e.text);
        return showKentei();
      }
      return refused(e);
    }
    c.pending = false;
    if (check !== c || shown !== 'check') return;
    c.doneMs = Number(reply.totalMs) >= 0 ? Number(reply.totalMs) : c.doneMs + (ms || 0);
    const fact = c.row + ' × ' + b + ' = ' + reply.product;
    $('check-reading').textContent = reply.reading ? fact + '　' + reply.reading : '';
    if (reply.outcome === 'next') {
      c.index += 1;
      say(reply.reading || 'せいかい');
      askCheck();
      return;
    }
    c.over = true;
    stopCheckClock();
    renderCheck();
    let words;
    if (reply.outcome === 'passed') {
      words = 'ごうかく！ ' + c.row + 'のだん ' + WAYS[c.way] + '、' + seconds(c.doneMs) + '。';
    } else if (reply.outcome === 'slow') {
      words = 'ぜんぶ せいかい！ ' + seconds(c.doneMs) + '。\nつぎは ' + seconds(c.limitMs).replace('.0', '') + ' いないを めざそう。';
    } else {
      words = 'おしい！ ' + c.row + ' × ' + b + ' は ' + reply.product
        + (reply.reading ? '（' + reply.reading + '）' : '') + '。\nもういちど やってみよう。';
    }
    showCard(reply.card, { words, kind: reply.outcome });
  }

  function startCheckClock() {
    stopCheckClock();
    const tick = () => {
      const c = check;
      if (!c) return;
      const ms = c.doneMs + (c.over || c.pending ? 0 : Date.now() - c.readyAt);
      $('check-clock').textContent = seconds(ms) + (c.limitMs ? ' / ' + seconds(c.limitMs).replace('.0', '') : '');
    };
    tick();
    checkTimer = setInterval(tick, 100);
  }

  function stopCheckClock() {
    clearInterval(checkTimer);
    checkTimer = 0;
  }

  // The card: a row of the table per line, a column per way; the pupil's own pass and the
  // teacher's stamp are drawn apart. `result` is what the check just ended says.
  async function showCard(card, result) {
    let reply = card;
    try {
      if (!reply || !Array.isArray(reply.cells)) reply = await post('card', {});
    } catch (e) {
      return refused(e);
    }
    const cells = Array.isArray(reply.cells) ? reply.cells : [];
    const passedRows = Array.isArray(reply.passedRows) ? reply.passedRows : [];
    const day = (text) => {
      const m = /^\d{4}-(\d{2})-(\d{2})$/.exec(String(text || ''));
      return m ? Number(m[1]) + '/' + Number(m[2]) : '';
    };
    const table = $('card-table');
    table.textContent = '';
    const head = table.createTHead().insertRow();
    for (const title of ['', WAYS.up, WAYS.down, WAYS.mixed, 'ごうかく']) {
      const th = document.createElement('th');
      th.textContent = title;
      head.appendChild(th);
    }
    const body = table.createTBody();
    for (let r = 1; r <= 9; ++r) {
      const tr = body.insertRow();
      const th = document.createElement('th');
      th.textContent = r + 'のだん';
      tr.appendChild(th);
      for (const way of ['up', 'down', 'mixed']) {
        const cell = cells.find((c) => c.row === r && c.way === way) || {};
        const td = tr.insertCell();
        td.dataset.row = String(r);
        td.dataset.way = way;
        const own = day(cell.passed);
        const teacher = day(cell.stamped);
        if (own || teacher) {
          td.className = own ? 'own' : 'teacher';
          const stamp = document.createElement('span');
          stamp.className = 'stamp ' + td.className;
          stamp.textContent = own ? '◎' : '先生';
          const date = document.createElement('span');
          date.className = 'day';
          date.textContent = own || teacher;
          td.append(stamp, ' ', date);
        }
      }
      const done = tr.insertCell();
      done.className = 'done';
      if (passedRows.includes(r)) {
        const mark = document.createElement('span');
        mark.className = 'goukaku';
        mark.textContent = 'ごうかく';
        done.appendChild(mark);
      }
    }
    const banner = $('card-result');
    banner.hidden = !result;
    banner.textContent = result ? result.words : '';
    banner.className = 'card-result ' + (result ? result.kind : '');
    $('card-again').hidden = !result;
    show('card');
    if (result) say(result.words);
  }

  // ---- the fact map and the full-mark names ----------------------------------------------

  const STATES = {
    known: ['◎', 'おぼえた'], learning: ['△', 'もうすこし'], new: ['・', 'まだ'],
  };

  async function showFacts() {
    try {
      const reply = await post('facts', {});
      show('facts');
      $('facts-known').textContent = 'おぼえた 九九: ' + reply.known + ' / ' + reply.total;
      const table = $('facts-map');
      table.textContent = '';
      const head = table.insertRow();
      for (let b = 0; b <= 9; ++b) {
        const th = document.createElement('th');
        th.textContent = b ? String(b) : '×';
        head.appendChild(th);
      }
      const cells = Array.isArray(reply.cells) ? reply.cells : [];
      for (let a = 1; a <= 9; ++a) {
        const tr = table.insertRow();
        const th = document.createElement('th');
        th.textContent = String(a);
        tr.appendChild(th);
        for (let b = 1; b <= 9; ++b) {
          const cell = cells.find((c) => c.a === a && c.b === b) || { state: 'new' };
          const state = STATES[cell.state] ? cell.state : 'new';
          const td = tr.insertCell();
          td.className = 'cell ' + state;
          const seen = document.createElement('span');
          seen.setAttribute('aria-hidden', 'true');
          seen.append(a + '×' + b, document.createElement('br'), STATES[state][0]);
          const heard = document.createElement('span');
          heard.className = 'sr';
          heard.textContent = a + 'かける' + b + '、' + STATES[state][1];
          td.append(seen, heard);
        }
      }
    } catch (e) {
      await refused(e);
    }
  }

  async function showFullmarks(activity, back) {
    fullmarksBack = back;
    try {
      const reply = await post('fullmarks', { activity });
      show('fullmarks');
      for (const tab of document.querySelectorAll('#fullmarks-tabs button'))
        tab.setAttribute('aria-pressed', String(tab.dataset.activity === activity));
      const list = $('fullmarks-list');
      list.textContent = '';
      const names = Array.isArray(reply.names) ? reply.names : [];
      for (const name of names) {
        const item = document.createElement('li');
        item.textContent = String(name);
        list.appendChild(item);
      }
      if (!names.length) {
        const item = document.createElement('li');
        item.className = 'none';
        item.textContent = 'まだ いません';
        list.appendChild(item);
      }
    } catch (e) {
      await refused(e);
    }
  }

  function closeScreen() {
    if (shown === 'fullmarks' && fullmarksBack === 'drill' && drill) openDrill();
    else showHome();
  }

  // ---- wiring ----------------------------------------------------------------------------

  $('signin-form').addEventListener('submit', (event) => {
    event.preventDefault();
    signIn($('signin-name').value);
  });
  $('signout-button').addEventListener('click', signOut);
  $('home-button').addEventListener('click', () => {
    showError('');
    if (shown === 'drill') leaveSet();
    showHome();
  });
  for (const button of document.querySelectorAll('[data-go]'))
    button.addEventListener('click', () => go(button.dataset.go));
  for (const button of document.querySelectorAll('.close-button'))
    button.addEventListener('click', closeScreen);
  for (const tab of document.querySelectorAll('#fullmarks-tabs button'))
    tab.addEventListener('click', () => showFullmarks(tab.dataset.activity, fullmarksBack));
  $('grade-button').addEventListener('click', sendGrade);
  for (const b of $('kentei-ways').children)
    b.addEventListener('click', () => { kentei.way = b.dataset.way; renderKentei(); });
  $('kentei-start').addEventListener('click', () => startCheck(kentei.row, kentei.way));
  $('kentei-card').addEventListener('click', () => showCard(null, null));
  $('card-again').addEventListener('click', () => startCheck(kentei.row, kentei.way));
  $('card-back').addEventListener('click', showKentei);
  $('again-button').addEventListener('click', () => {
    if (drill && !drill.pending) {
      leaveSet();
      deal(drill.activity, drill.askedRow);
    }
  });
  $('drill-fullmarks').addEventListener('click', () => {
    if (drill) showFullmarks(drill.activity, 'drill');
  });

  // The check's pad has the sheet's keys. The pads' keys must not take the focus from the
  // answer box.
  $('check-pad').append(...[...$('pad').children].map((key) => key.cloneNode(true)));
  for (const [pad, onKey] of [[$('pad'), press], [$('check-pad'), checkPress]]) {
    pad.addEventListener('mousedown', (event) => event.preventDefault());
    for (const key of pad.querySelectorAll('button'))
      key.addEventListener('click', () => onKey(key.dataset.key));
  }

  document.addEventListener('keydown', (event) => {
    if ((shown !== 'drill' && shown !== 'check') || event.altKey || event.ctrlKey || event.metaKey) return;
    const key = event.key;
    if (L.padKey(key)) {
      if (event.target instanceof HTMLButtonElement && key === 'Enter') return;
      event.preventDefault();
      (shown === 'drill' ? press : checkPress)(key);
    }
  });

  window.addEventListener('online', flushPending);

  async function start() {
    show('start');
    session = store.get(KEYS.session);
    drill = store.get(KEYS.drill);
    let same = false;
    try {
      same = await hello();
    } catch (e) {
      if (e instanceof Refused && L.afterRefusal(e.code) === 'gone') return showGone();
      showError(e instanceof Refused ? e.text : '');
    }
    const at = L.resumeAt(same, session, drill);
    if (at === 'signin') {
      forgetPupil();
      return showSignIn();
    }
    if (at === 'drill') return openDrill();
    drill = null;
    saveDrill();
    return showHome();
  }

  start();
})();
