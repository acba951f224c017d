<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Lunavue</name>
    <message>
        <source>Untitled</source>
        <translation>無題</translation>
    </message>
    <message>
        <source>Recent File</source>
        <translation>最新のﾌｧｲﾙ</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>開く</translation>
    </message>
    <message>
        <source>VESPER Vizororu Files (*.cpk)</source>
        <translation>VESPER Vizororu ﾌｧｲﾙ (*.cpk)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>すべてのﾌｧｲﾙ (*.*)</translation>
    </message>
    <message>
        <source>Muted</source>
        <translation>消音</translation>
    </message>
    <message>
        <source>Volume %1%</source>
        <translation>音量 %1%</translation>
    </message>
    <message>
        <source>No sound: %1</source>
        <translation>音声なし: %1</translation>
    </message>
    <message>
        <source>The sound is back</source>
        <translation>音声が戻りました</translation>
    </message>
    <message>
        <source>Direct Draw: no OpenGL here, the picture is painted</source>
        <translation>Direct Draw: OpenGL が使えないため、通常の描画で表示します</translation>
    </message>
    <message>
        <source>Direct Draw does not reach the screen here, the picture is painted</source>
        <translation>Direct Draw の表示が画面に出ないため、通常の描画で表示します</translation>
    </message>
    <message>
        <source>Queue: %1 waiting, %2 in all</source>
        <translation>再生待ち: %1 件、合計 %2</translation>
    </message>
    <message>
        <source>Resumed at %1 — Home to start over</source>
        <translation>%1 から再開しました — Home で最初から</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <translation>画像をコピーしました</translation>
    </message>
    <message>
        <source>Go to Time</source>
        <translation>時間を指定して移動</translation>
    </message>
    <message>
        <source>Time (m:ss or seconds):</source>
        <translation>時間 (分:秒 または秒):</translation>
    </message>
    <message>
        <source>Not a time: %1</source>
        <translation>時間ではありません: %1</translation>
    </message>
    <message>
        <source>The picture could not be saved</source>
        <translation>画像を保存できませんでした</translation>
    </message>
    <message>
        <source>Saved: %1</source>
        <translation>保存しました: %1</translation>
    </message>
    <message>
        <source>Repeat from %1 (L again: to here)</source>
        <translation>%1 から繰り返し (もう一度 L で終わりを指定)</translation>
    </message>
    <message>
        <source>Repeating %1 to %2</source>
        <translation>%1 から %2 を繰り返し再生</translation>
    </message>
    <message>
        <source>Repeat off</source>
        <translation>繰り返し解除</translation>
    </message>
    <message>
        <source>Speed %1×</source>
        <translation>速度 %1×</translation>
    </message>
    <message>
        <source>Queued: %1 (%2 in queue)</source>
        <translation>再生待ちに追加: %1 (待ち %2 件)</translation>
    </message>
    <message>
        <source>The queue is full: %1 not taken</source>
        <translation>再生待ちが一杯です: %1 件は追加されません</translation>
    </message>
    <message>
        <source>%1 more movies could not be opened; the standard error names each and says why</source>
        <translation>他に %1 本のファイルが開けません。標準エラーにそれぞれの名前と理由があります</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>再生</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>再生待ち</translation>
    </message>
    <message>
        <source>No picture</source>
        <translation>画像なし</translation>
    </message>
</context>
<context>
    <name>Prompt</name>
    <message>
        <source>Choose movies to play</source>
        <translation>ファイルを選択する</translation>
    </message>
    <message>
        <source>Quit the application</source>
        <translation>アプリケーションを終了する</translation>
    </message>
    <message>
        <source>Show at the original size</source>
        <translation>元のｻｲｽﾞで表示</translation>
    </message>
    <message>
        <source>Show at twice the size</source>
        <translation>２倍表示</translation>
    </message>
    <message>
        <source>Show at three times the size</source>
        <translation>３倍表示</translation>
    </message>
    <message>
        <source>Show as large as the screen allows</source>
        <translation>最大化表示</translation>
    </message>
    <message>
        <source>Show full screen</source>
        <translation>フルスクリーン表示</translation>
    </message>
    <message>
        <source>Use Direct Draw</source>
        <translation>Direct Drawを使用する</translation>
    </message>
    <message>
        <source>Show information on the movie</source>
        <translation>ファイル情報の表示</translation>
    </message>
    <message>
        <source>Show information on the program</source>
        <translation>プログラムの情報を表示</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Open a movie</source>
        <translation>ﾌｧｲﾙを開く</translation>
    </message>
    <message>
        <source>Choose movies and play them now</source>
        <translation>ファイルを選んですぐ再生する</translation>
    </message>
    <message>
        <source>Show the movies waiting to play</source>
        <translation>再生待ちのファイルを表示する</translation>
    </message>
    <message>
        <source>Open this movie</source>
        <translation>指定のﾌｧｲﾙを開く</translation>
    </message>
</context>
<context>
    <name>Message</name>
    <message>
        <source>Not enough memory</source>
        <translation>ﾒﾓﾘが確保出来ません</translation>
    </message>
    <message>
        <source>The codec cannot be used</source>
        <translation>CODECが使用出来ません</translation>
    </message>
    <message>
        <source>Not enough memory for the sound</source>
        <translation>音声用のﾒﾓﾘが確保出来ません</translation>
    </message>
    <message>
        <source>The file cannot be opened</source>
        <translation>ﾌｧｲﾙが開けません</translation>
    </message>
    <message>
        <source>The file is damaged</source>
        <translation>ﾌｧｲﾙが壊れています</translation>
    </message>
</context>
<context>
    <name>Refusal</name>
    <message>
        <source>opened</source>
        <translation>開きました</translation>
    </message>
    <message>
        <source>the video is not Cinepak (the header says "%1")</source>
        <translation>映像がCinepakではありません (ヘッダーの記述: "%1")</translation>
    </message>
    <message>
        <source>cannot open the file: %1</source>
        <translation>ファイルを開けません: %1</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>not a FILM movie: no FILM header</source>
        <translation>FILM ムービーではありません: FILM ヘッダーがありません</translation>
    </message>
    <message>
        <source>the file ends inside its header or its sample table</source>
        <translation>ファイルがヘッダーかサンプルテーブルの途中で終わっています</translation>
    </message>
    <message>
        <source>the sample table's entry count (%1) is not a positive number</source>
        <translation>サンプルテーブルの項目数 (%1) が正の数ではありません</translation>
    </message>
    <message>
        <source>the picture size is 0 or larger than 4096 pixels</source>
        <translation>画像の大きさが 0 か 4096 ピクセルを超えています</translation>
    </message>
    <message>
        <source>the sample table has no video entry</source>
        <translation>サンプルテーブルに映像の項目がありません</translation>
    </message>
    <message>
        <source>sample table entry %1 is a picture lasting 0 ticks</source>
        <translation>サンプルテーブルの項目 %1 は長さ 0 の画像です</translation>
    </message>
    <message>
        <source>the base frequency (ticks per second) is 0</source>
        <translation>基本周波数 (1 秒あたりのティック数) が 0 です</translation>
    </message>
    <message>
        <source>sample table entry %1 runs past the end of the file</source>
        <translation>サンプルテーブルの項目 %1 がファイルの終わりを越えています</translation>
    </message>
    <message>
        <source>playing it would need %1 MB of memory, more than the 512 MB allowed or available</source>
        <translation>再生に %1 MB のメモリが必要で、許される 512 MB か空きを超えています</translation>
    </message>
    <message>
        <source>no decompressor for this picture format</source>
        <translation>この画像形式の展開器がありません</translation>
    </message>
    <message>
        <source>raw pictures of %1 bits a pixel; only 24-bit raw pictures are read</source>
        <translation>1 ピクセル %1 ビットの非圧縮画像です。読めるのは 24 ビットの非圧縮画像だけです</translation>
    </message>
    <message>
        <source>FILM version 00 02 00 00 in a layout other than the standard one, which this player does not know</source>
        <translation>FILM バージョン 00 02 00 00 の標準以外の構成で、このプレーヤーは知りません</translation>
    </message>
    <message>
        <source>a 3DO stream whose first chunk is a FILM chunk (FHDR), not a FILM file</source>
        <translation>最初のチャンクが FILM チャンク (FHDR) の 3DO ストリームで、FILM ファイルではありません</translation>
    </message>
    <message>
        <source>a FILM file without an FDSC chunk (the abridged form of cartridge games), which this player does not read</source>
        <translation>FDSC チャンクのない FILM ファイル (カートリッジゲームの簡略形式) で、このプレーヤーは読めません</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>開けません</translation>
    </message>
</context>
</TS>
