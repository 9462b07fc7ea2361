// Renders a short conversation, typed in UTF-8, with two settings changed, and
// saves it as docs/preview.png, the picture the README shows.
// Usage: node screenshot.mjs [OUTPUT.png]
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchBrowser, repoRoot, runHost } from './support.mjs';

// Every category, Polish letters in and around the block.
const conversation = [
  'Bartek, zobacz moją pętlę:\n' +
    '[delphi]procedure Powitaj(const Imie: string);\n' +
    '{ mówi dzień dobry }\n' +
    'var i: Integer; // licznik\n' +
    'begin\n' +
    "  for i := 1 to 3 do WriteLn('Cześć, ', Imie);\n" +
    'end;[/delphi]',
  'Działa, dzięki! Kolory zmieniłem sobie w ustawieniach wtyczki.',
].join('\f');
const settings = ['--set', 'LX/Colors/Strings=#008000', '--set', 'LX/Style/Bold/Numbers=1'];

const output = process.argv[2] || join(repoRoot, 'docs', 'preview.png');
const work = mkdtempSync(join(tmpdir(), 'lumarix-screenshot-'));
// Twice the pixels: sharp on high-density screens, still a small file.
const browser = await launchBrowser({ viewport: { width: 900, height: 600 }, deviceScaleFactor: 2 });
try {
  const page = join(work, 'preview.html');
  runHost([...settings, '--preview', page], Buffer.from(conversation, 'utf8'));
  const tab = await browser.context.newPage();
  await tab.goto(pathToFileURL(page).href);
  await tab.locator('.window').screenshot({ path: output });
  console.log(`wrote ${output}`);
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}
