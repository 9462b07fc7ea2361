// Opens the stand-in host's chat previews in headless Chromium and checks what a
// reader sees there, from the computed styles of the rendered text rather than
// from the HTML source.
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { launchBrowser, runHost, workedExample } from './support.mjs';

const BLACK = 'rgb(0, 0, 0)';
const NAVY = 'rgb(0, 0, 128)'; // comments, #000080
const BLUE = 'rgb(0, 0, 255)'; // strings, #0000FF
const RED = 'rgb(255, 0, 0)'; // numbers, #FF0000
const MAROON = 'rgb(132, 0, 0)'; // operators, #840000
const CODE_FACE = '"Courier New"';

let browser;
let work;
let pageCount = 0;

before(async () => {
  work = mkdtempSync(join(tmpdir(), 'lumarix-preview-test-'));
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  if (work) rmSync(work, { recursive: true, force: true });
});

// Writes a preview of `input` with the extra host `args` and opens it.
// Returns the open tab and the host's standard output.
async function openPreview(input, args = []) {
  const file = join(work, `preview-${++pageCount}.html`);
  const { stdout } = runHost([...args, '--preview', file], input);
  const tab = await browser.context.newPage();
  await tab.goto(pathToFileURL(file).href);
  return { tab, stdout };
}

// Every piece of text in bubble `index`, with the styles it is drawn in.
// Underline is not inherited in computed style, so it is looked up the chain.
function readRuns(tab, index = 0) {
  return tab.evaluate(([index, codeFace]) => {
    const bubble = document.querySelectorAll('.bubble')[index];
    const runs = [];
    const walker = document.createTreeWalker(bubble, NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      const style = getComputedStyle(node.parentElement);
      let underlined = false;
      for (let e = node.parentElement; e !== bubble.parentElement; e = e.parentElement) {
        underlined ||= getComputedStyle(e).textDecorationLine.includes('underline');
      }
      runs.push({
        text: node.data,
        bold: Number(style.fontWeight) >= 700,
        italic: style.fontStyle === 'italic',
        underlined,
        color: style.color,
        code: style.fontFamily.startsWith(codeFace),
      });
    }
    return runs;
  }, [index, CODE_FACE]);
}

// The run that draws exactly `text`; fails when there is none.
function runOf(runs, text) {
  const run = runs.find((r) => r.text === text);
  assert.ok(run, `no text run ${JSON.stringify(text)} in ${JSON.stringify(runs.map((r) => r.text))}`);
  return run;
}

const bubbleText = (tab, index = 0) =>
  tab.evaluate((index) => document.querySelectorAll('.bubble')[index].innerText, index);

function style(text, color, { bold = false, italic = false, underlined = false, code = true } = {}) {
  return { text, bold, italic, underlined, color, code };
}

test('the worked example shows each token in its category style, in the code face', async () => {
  const { tab, stdout } = await openPreview(workedExample);
  try {
    assert.deepEqual(await readRuns(tab), [
      style('x ', BLACK, { code: false }),
      style('begin', BLACK, { bold: true }),
      style(' ', MAROON, { bold: true }),
      style('y', BLACK),
      style(':=', MAROON, { bold: true }),
      style('1', RED),
      style('; ', MAROON, { bold: true }),
      style('end', BLACK, { bold: true }),
      style(' z', BLACK, { code: false }),
    ]);
    assert.equal(await bubbleText(tab), 'x begin y:=1; end z');
    // Writing the page leaves the printed body as it is without --preview.
    assert.deepEqual(stdout, runHost([], workedExample).stdout);
  } finally {
    await tab.close();
  }
});

test('comments of every form are italic in the comment colour', async () => {
  const source = '{ brace }\nx := 1; // line\n(* star *)';
  const { tab } = await openPreview(`[delphi]${source}[/delphi]`);
  try {
    const runs = await readRuns(tab);
    for (const comment of ['{ brace }', '// line\n', '(* star *)']) {
      assert.deepEqual(runOf(runs, comment), style(comment, NAVY, { italic: true }), comment);
    }
    assert.equal(await bubbleText(tab), source);
  } finally {
    await tab.close();
  }
});

test('markup inside Delphi strings is shown as the literal text the user typed', async () => {
  const cases = [
    "'<b>'",
    "'<b>bold?</b>'",
    "'a & b'",
    "'&lt;not an entity&gt;'",
    "'<script>alert(1)</script>'",
  ];
  const source = cases.map((literal) => `s := ${literal};`).join('\n');
  const { tab } = await openPreview(`[delphi]${source}[/delphi]`);
  try {
    const runs = await readRuns(tab);
    for (const literal of cases) {
      assert.deepEqual(runOf(runs, literal), style(literal, BLUE), literal);
    }
    assert.equal(await bubbleText(tab), source);
    // No element came out of the strings: the only bold text is operators.
    const boldTexts = await tab.$$eval('.bubble b', (all) => all.map((b) => b.textContent));
    assert.ok(boldTexts.every((t) => /^[\s:=;]*$/.test(t)), JSON.stringify(boldTexts));
    assert.equal(await tab.$$eval('.bubble script', (all) => all.length), 0);
  } finally {
    await tab.close();
  }
});

test('text outside the blocks reaches the reader unchanged, in the host code page', async () => {
  // "Cześć! Patrz: " and " – dzięki" in windows-1250.
  const before = Buffer.from([
    0x43, 0x7a, 0x65, 0x9c, 0xe6, 0x21, 0x20, 0x50, 0x61, 0x74, 0x72, 0x7a, 0x3a, 0x20,
  ]);
  const after = Buffer.from([0x20, 0x96, 0x20, 0x64, 0x7a, 0x69, 0xea, 0x6b, 0x69]);
  const input = Buffer.concat([before, Buffer.from('[delphi]end[/delphi]'), after]);
  const { tab, stdout } = await openPreview(input);
  try {
    assert.deepEqual(stdout.subarray(0, before.length), before);
    assert.deepEqual(stdout.subarray(stdout.length - after.length), after);
    assert.equal(await bubbleText(tab), 'Cześć! Patrz: end – dzięki');
    const runs = await readRuns(tab);
    assert.deepEqual(runOf(runs, 'Cześć! Patrz: '), style('Cześć! Patrz: ', BLACK, { code: false }));
    assert.deepEqual(runOf(runs, ' – dzięki'), style(' – dzięki', BLACK, { code: false }));
  } finally {
    await tab.close();
  }
});

test('a mistyped colour cannot break the chat window', async () => {
  const source = "s := 'x'; t := '<y>';";
  const { tab } = await openPreview(`[delphi]${source}[/delphi]`, ['--set', 'LX/Colors/Strings=#00AA00">']);
  try {
    // No '">' shows: the code reads exactly as typed, each string one run in the code face.
    assert.equal(await bubbleText(tab), source);
    const runs = await readRuns(tab);
    assert.ok(runOf(runs, "'x'").code && runOf(runs, "'<y>'").code);
  } finally {
    await tab.close();
  }
});

test('a message highlighted once is never highlighted again', async () => {
  // The comment names both markers; the block ends at the first "[/delphi]".
  const body = '[delphi]x := 1; // put code between [delphi] and [/delphi]\n[/delphi]';
  const seen = body.replace('[delphi]', '').replace('[/delphi]', '');
  const once = runHost([], body).stdout;
  // Delivered twice: the second time as the first one's result, as a forwarded copy comes back.
  const { tab } = await openPreview(Buffer.concat([Buffer.from(`${body}\f`), once]));
  try {
    assert.equal(await bubbleText(tab, 0), seen);
    assert.equal(await bubbleText(tab, 1), seen);
    assert.deepEqual(await readRuns(tab, 1), await readRuns(tab, 0));
  } finally {
    await tab.close();
  }
});

// What a reader sees of a bubble: its lines of text.
const bubbleLines = async (tab, index = 0) => (await bubbleText(tab, index)).split('\n');

test('code pasted with CRLF line ends shows one line per source line, as with LF', async () => {
  const lines = ['begin', "  s := 'a'; // note", '  { x }', '  y := 2;', 'end;'];
  const shown = [];
  for (const end of ['\n', '\r\n']) {
    const body = `look:${end}[delphi]${lines.join(end)}${end}[/delphi]${end}ok`;
    const { tab, stdout } = await openPreview(body);
    try {
      // The plug-in's bytes are printed as they are, CRs included.
      assert.deepEqual(stdout, runHost([], body).stdout);
      shown.push(await bubbleLines(tab));
    } finally {
      await tab.close();
    }
  }
  assert.deepEqual(shown[0], ['look:', ...lines, '', 'ok']);
  assert.deepEqual(shown[1], shown[0]);
});

test('Polish typed in UTF-8 reads right, inside and outside the block', async () => {
  const text = "Zażółć gęślą jaźń: [delphi]s := 'Łódź'; { żółw }[/delphi] – dzięki";
  const seen = "Zażółć gęślą jaźń: s := 'Łódź'; { żółw } – dzięki";
  for (const args of [[], ['--encoding', 'utf-8']]) {
    const { tab, stdout } = await openPreview(Buffer.from(text, 'utf8'), args);
    try {
      assert.equal(await bubbleText(tab), seen, args.join(' '));
      const runs = await readRuns(tab);
      assert.deepEqual(runOf(runs, "'Łódź'"), style("'Łódź'", BLUE));
      assert.deepEqual(runOf(runs, '{ żółw }'), style('{ żółw }', NAVY, { italic: true }));
      // The plug-in saw code page 1250: "ł" is the byte 0xB3.
      assert.ok(stdout.includes(Buffer.from([0xb3])) && !stdout.includes(Buffer.from('ł', 'utf8')));
    } finally {
      await tab.close();
    }
  }
});

test('the page frame speaks Polish', async () => {
  const { tab } = await openPreview(workedExample);
  try {
    assert.equal(await tab.evaluate(() => document.documentElement.lang), 'pl');
    const heads = await tab.$$eval('header', (all) => all.map((h) => h.textContent));
    assert.deepEqual(heads, ['Rozmowa: Anna', 'Ustawienia wtyczki']);
    const names = await tab.$$eval('.settings tr[data-category] td:first-child', (all) =>
      all.map((c) => c.textContent));
    // In the order of the plug-in's settings page, as the user sees it in the messenger.
    assert.deepEqual(names, ['Słowa kluczowe', 'Stringi', 'Cyfry', 'Komentarze', 'Operatory']);
  } finally {
    await tab.close();
  }
});

test('a changed setting shows in the message and in the settings beside it', async () => {
  const cases = [
    {
      set: 'LX/Colors/Key_words=#FF00FF',
      token: 'begin',
      seen: style('begin', 'rgb(255, 0, 255)', { bold: true }),
      category: 'Key_words',
    },
    {
      set: 'LX/Colors/Operators=green',
      token: ':=',
      seen: style(':=', 'rgb(0, 128, 0)', { bold: true }),
      category: 'Operators',
    },
    {
      set: 'LX/Style/Bold/Key_words=0',
      token: 'end',
      seen: style('end', BLACK),
      category: 'Key_words',
    },
    {
      set: 'LX/Style/Italic/Key_words=1',
      token: 'begin',
      seen: style('begin', BLACK, { bold: true, italic: true }),
      category: 'Key_words',
    },
    {
      set: 'LX/Style/Underline/Numbers=1',
      token: '1',
      seen: style('1', RED, { underlined: true }),
      category: 'Numbers',
    },
  ];
  for (const { set, token, seen, category } of cases) {
    const { tab } = await openPreview(workedExample, ['--set', set]);
    try {
      assert.deepEqual(runOf(await readRuns(tab), token), seen, set);
      // The changed cell is marked, and a colour's swatch is drawn in it.
      const changed = await tab.$$eval(`tr[data-category="${category}"] td.changed`, (cells) =>
        cells.map((c) => ({ title: c.title, swatch: c.querySelector('.swatch') &&
          getComputedStyle(c.querySelector('.swatch')).backgroundColor })));
      assert.equal(changed.length, 1, set);
      assert.match(changed[0].title, new RegExp(`^${set.replace('=', ' = ')} \\(domyślnie `));
      if (set.includes('/Colors/')) assert.equal(changed[0].swatch, seen.color, set);
    } finally {
      await tab.close();
    }
  }
});

test('the settings pane lists the defaults with their swatches and switches', async () => {
  const { tab } = await openPreview(workedExample);
  try {
    const rows = await tab.$$eval('.settings tr[data-category]', (all) =>
      all.map((row) => ({
        category: row.dataset.category,
        swatch: getComputedStyle(row.querySelector('.swatch')).backgroundColor,
        value: row.querySelector('code').textContent,
        switches: [...row.querySelectorAll('td')].slice(2).map((c) => c.className),
        changed: row.querySelectorAll('.changed').length,
      })));
    const row = (category, swatch, value, switches) => ({ category, swatch, value, switches, changed: 0 });
    assert.deepEqual(rows, [
      row('Key_words', BLACK, '#000000', ['on', 'off', 'off']),
      row('Strings', BLUE, '#0000FF', ['off', 'off', 'off']),
      row('Numbers', RED, '#FF0000', ['off', 'off', 'off']),
      row('Comments', NAVY, '#000080', ['off', 'on', 'off']),
      row('Operators', MAROON, '#840000', ['on', 'off', 'off']),
    ]);
  } finally {
    await tab.close();
  }
});

test('a conversation alternates senders, from standard input or from message files', async () => {
  const bodies = ['Hi, look:', '[delphi]begin end[/delphi]', '', 'thanks & bye'];
  const expectedOut = Buffer.from(
    bodies.map((b) => runHost([], b).stdout.toString('latin1')).join('\f'),
    'latin1',
  );
  const files = bodies.map((body, k) => {
    const file = join(work, `message-${k}.txt`);
    writeFileSync(file, body);
    return file;
  });
  const fromStdin = await openPreview(bodies.join('\f'));
  const fromFiles = await openPreview('ignored [delphi]x[/delphi]', files.flatMap((f) => ['--message', f]));
  try {
    for (const { tab, stdout } of [fromStdin, fromFiles]) {
      assert.deepEqual(stdout, expectedOut);
      const messages = await tab.$$eval('.message', (all) =>
        all.map((m) => ({
          side: m.classList.contains('second') ? 'second' : 'first',
          sender: m.querySelector('.name').textContent,
          time: m.querySelector('time').textContent,
          text: m.querySelector('.bubble').innerText,
        })));
      assert.deepEqual(
        messages.map(({ side, sender, text }) => ({ side, sender, text })),
        [
          { side: 'first', sender: 'Anna', text: 'Hi, look:' },
          { side: 'second', sender: 'Bartek', text: 'begin end' },
          { side: 'first', sender: 'Anna', text: '' },
          { side: 'second', sender: 'Bartek', text: 'thanks & bye' },
        ],
      );
      for (const { time } of messages) assert.match(time, /^\d\d:\d\d$/);
      assert.deepEqual(runOf(await readRuns(tab, 1), 'begin'), style('begin', BLACK, { bold: true }));
    }
  } finally {
    await fromStdin.tab.close();
    await fromFiles.tab.close();
  }
});

test('without --preview or --message a form feed is part of the one message', () => {
  const input = '[delphi]a\fb[/delphi]';
  const single = runHost([], input).stdout.toString('latin1');
  assert.ok(!single.includes('[delphi]') && single.includes('a\fb'), single);
  // As a conversation the same bytes are two messages, neither with both markers.
  assert.equal(runHost(['--preview', join(work, 'ff.html')], input).stdout.toString('latin1'), input);
});

test('an unreadable message file or an unwritable preview is a usage error', () => {
  for (const args of [
    ['--message', join(work, 'no-such-message.txt')],
    ['--preview', join(work, 'no-such-dir', 'preview.html')],
  ]) {
    const run = runHost(args, workedExample, { allowFailure: true });
    assert.equal(run.status, 2, args.join(' '));
    assert.equal(run.stdout.length, 0, args.join(' '));
    assert.match(run.stderr, /^lumarix-host: cannot (read message file|write preview) .*\n$/);
  }
});
