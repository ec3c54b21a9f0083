// A stand-in for the class server, in memory, for the page's resend test: it serves
// resources/web/ under /c/CODE/ and answers what a pupil's level needs (hello, names, signin,
// deal and grade of the three levels) as the class server does, with two additions:
//   GET /mock/stats          -> how many grade requests came and how many sets counted
//   env MOCK_DROP=grade      -> the first grade request is graded and counted, then its
//                               connection is cut half-way through the answer (a lost network)
// Run: node mock-server.mjs [--port N]; prints "serving http://127.0.0.1:PORT/c/CODE/".
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import crypto from 'node:crypto';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const webDir = path.resolve(here, '../../resources/web');
const code = Array.from(crypto.randomBytes(8), (b) => 'abcdefghijkmnpqrstuvwxyz23456789'[b % 32]).join('');
const types = { 'index.html': 'text/html; charset=utf-8', 'app.js': 'text/javascript; charset=utf-8',
  'style.css': 'text/css; charset=utf-8' };

const tablets = new Map();   // token -> { name, pupil }
const sets = new Map();      // set id -> set
const stats = { gradeRequests: 0, counted: 0 };
const names = ['たろう', 'はなこ', 'ゆうと', 'さくら', '<b>ゆき</b>'];
let dropNext = process.env.MOCK_DROP || '';
let tabletCount = 0;

const randomFact = () => ({ a: crypto.randomInt(1, 10), b: crypto.randomInt(1, 10) });
const message = (pupil, activity) => `${pupil}さんの ${activity} の きろく`;

class Refusal extends Error {
  constructor(status, word, text) { super(text); this.status = status; this.word = word; }
}

function deal(tablet, body) {
  if (!['novice', 'intermediate', 'expert'].includes(body.activity))
    throw new Refusal(400, 'bad', 'わからない おねがいです。');
  const id = crypto.randomBytes(6).toString('hex');
  const questions = Array.from({ length: 20 }, randomFact);
  sets.set(id, { activity: body.activity, questions, pupil: tablet.pupil, replies: new Map() });
  return { set: id, activity: body.activity, questions };
}

function grade(tablet, body, res) {
  ++stats.gradeRequests;
  const set = sets.get(body.set);
  if (!set || set.pupil !== tablet.pupil)
    throw new Refusal(409, 'set', 'この もんだいは もう おわっています。');
  const key = `grade ${body.attempt}`;
  if (!set.replies.has(key)) {
    const answers = body.answers;
    if (!Array.isArray(answers) || answers.length !== set.questions.length)
      throw new Refusal(400, 'bad', 'わからない おねがいです。');
    if (answers.some((x) => !Number.isInteger(x && x.given) || x.given < 0 || x.given > 999))
      throw new Refusal(422, 'incomplete', 'こたえを ぜんぶ いれてね。');
    const marks = answers.map((x, i) => x.given === set.questions[i].a * set.questions[i].b);
    const correct = marks.filter(Boolean).length;
    const counted = !set.counted;
    set.counted = true;
    if (counted) ++stats.counted;
    const reply = { marks, correct, score: correct * 5, message: message(tablet.pupil, set.activity), counted };
    set.replies.set(key, reply);
  }
  if (dropNext === 'grade') {
    // Half an answer, then the connection is gone: the browser cannot resend by itself.
    dropNext = '';
    res.writeHead(200, { 'Content-Type': 'application/json', 'Content-Length': '1000' });
    res.write('{"marks":[');
    setTimeout(() => res.socket.destroy(), 50);
    return undefined;
  }
  return set.replies.get(key);
}

function api(verb, body, token, res) {
  if (verb === 'hello') {
    if (body.tablet && tablets.has(body.tablet)) return { tablet: body.tablet, ...tablets.get(body.tablet).info };
    const tablet = crypto.randomBytes(12).toString('hex');
    const info = { name: `たんまつ ${++tabletCount}`, className: '2年1組' };
    tablets.set(tablet, { info, pupil: '' });
    return { tablet, ...info };
  }
  const tablet = tablets.get(token);
  if (!tablet) throw new Refusal(401, 'tablet', 'もう一度 名前を いれてね。');
  if (verb === 'names') return { names };
  if (verb === 'signin') {
    const name = typeof body.name === 'string' ? body.name.trim() : '';
    if (!name || name.length > 20) throw new Refusal(422, 'refused', '名前を いれてね。');
    tablet.pupil = name;
    const messages = {};
    for (const a of ['novice', 'intermediate', 'expert', 'challenge']) messages[a] = message(name, a);
    return { pupil: name, messages };
  }
  if (verb === 'signout') { tablet.pupil = ''; return {}; }
  if (!tablet.pupil) throw new Refusal(403, 'signin', '名前を いれてね。');
  if (verb === 'deal') return deal(tablet, body);
  if (verb === 'grade') return grade(tablet, body, res);
  throw new Refusal(404, 'bad', 'わからない おねがいです。');
}

const server = http.createServer((req, res) => {
  const send = (status, type, text) => {
    res.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
    res.end(text);
  };
  const url = new URL(req.url, 'http://x');
  if (url.pathname === '/mock/stats') return send(200, 'application/json', JSON.stringify(stats));
  const prefix = `/c/${code}/`;
  if (!url.pathname.startsWith(prefix)) return send(404, 'text/plain; charset=utf-8', 'みつかりません');
  const rest = url.pathname.slice(prefix.length);
  if (req.method === 'GET') {
    const file = rest === '' ? 'index.html' : rest;
    if (!types[file]) return send(404, 'text/plain; charset=utf-8', 'みつかりません');
    return send(200, types[file], fs.readFileSync(path.join(webDir, file)));
  }
  const m = /^api\/([a-z]+)$/.exec(rest);
  if (req.method !== 'POST' || !m) return send(404, 'text/plain; charset=utf-8', 'みつかりません');
  let raw = '';
  req.setEncoding('utf8');
  req.on('data', (chunk) => { raw += chunk; });
  req.on('end', () => {
    try {
      let body;
      try { body = JSON.parse(raw || '{}'); } catch { throw new Refusal(400, 'bad', 'わからない おねがいです。'); }
      const reply = api(m[1], body, req.headers['x-tablet'], res);
      if (reply !== undefined) send(200, 'application/json', JSON.stringify(reply));
    } catch (e) {
      if (!(e instanceof Refusal)) throw e;
      send(e.status, 'application/json', JSON.stringify({ code: e.word, error: e.message }));
    }
  });
});

const portArg = process.argv.indexOf('--port');
server.listen(portArg > 0 ? Number(process.argv[portArg + 1]) : 0, '127.0.0.1', () => {
  console.log(`serving http://127.0.0.1:${server.address().port}/c/${code}/`);
});
process.on('SIGTERM', () => server.close(() => process.exit(0)));
