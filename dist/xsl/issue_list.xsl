<?xml version="1.0" encoding="UTF-8"?>
<!-- Securities handbook (IssueList): one table row per instrument.
     The handbook viewer applies it in parts, so that a whole market's handbook shows its first
     rows at once (docs/incoming-messages.md, "Big documents and stylesheets applied in parts"):
     the heading with viewer-part 'head', then the instruments a few hundred at a time with
     viewer-part 'rows'.
     Without parameters it makes the whole page, as any XSLT processor does. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"
              doctype-public="-//W3C//DTD HTML 4.01//EN"/>

  <xsl:param name="viewer-part" select="''"/>
  <xsl:param name="viewer-first" select="1"/>
  <xsl:param name="viewer-count" select="count(/*/*)"/>

  <!-- Rows per table: the browser lays out only the tables in view. -->
  <xsl:variable name="chunk" select="200"/>

  <xsl:template name="date">
    <xsl:param name="value"/>
    <xsl:choose>
      <xsl:when test="string-length($value) &gt;= 10 and substring($value, 5, 1) = '-'">
        <xsl:value-of select="concat(substring($value, 9, 2), '.', substring($value, 6, 2), '.', substring($value, 1, 4))"/>
        <xsl:if test="string-length($value) &gt; 10">
          <xsl:value-of select="concat(' ', substring($value, 12, 8))"/>
        </xsl:if>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="$viewer-part = 'rows'">
        <xsl:apply-templates select="*" mode="rows"/>
      </xsl:when>
      <xsl:otherwise>
        <html>
          <head>
            <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
            <title>Справочник ценных бумаг</title>
            <style type="text/css">
              body { font: 13px/1.35 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1f2328; margin: 14px 18px; background: #fff; }
              h1 { font-size: 19px; font-weight: 600; margin: 0 0 6px; color: #17365d; }
              .info { margin: 0 0 3px; color: #444; }
              .hint { margin: 4px 0 12px; color: #6b6b6b; font-size: 12px; }
              .cut { color: #fff; font-size: 1px; }
              table { border-collapse: collapse; table-layout: fixed; width: 1810px; }
              th { background: #dbe5f1; color: #17365d; font-weight: 600; text-align: center; padding: 4px 5px; border: 1px solid #9fb4cf; }
              td { padding: 2px 5px; border: 1px solid #d0d7de; overflow: hidden; white-space: nowrap; text-overflow: ellipsis; }
              tr:nth-child(even) td { background: #f6f8fa; }
              .chunk { content-visibility: auto; contain-intrinsic-size: auto 4400px; width: 1812px; }
              .chunk table { margin-top: -1px; }
              /* Plain cells keep the rows light: widths and alignment come from the columns. */
              td:nth-child(1) { width: 60px; } td:nth-child(2) { width: 110px; } td:nth-child(3) { width: 150px; }
              td:nth-child(4) { width: 330px; } td:nth-child(5) { width: 120px; } td:nth-child(6) { width: 130px; }
              td:nth-child(7) { width: 250px; } td:nth-child(8) { width: 120px; } td:nth-child(9) { width: 90px; }
              td:nth-child(10) { width: 60px; } td:nth-child(11) { width: 120px; } td:nth-child(12) { width: 95px; }
              td:nth-child(13) { width: 95px; }
              td:nth-child(1), td:nth-child(9), td:nth-child(11) { text-align: right; font-variant-numeric: tabular-nums; }
              td:nth-child(10), td:nth-child(12), td:nth-child(13) { text-align: center; }
            </style>
          </head>
          <body>
            <xsl:apply-templates select="*[1]"/>
            <xsl:choose>
              <xsl:when test="$viewer-part = 'head'"><xsl:comment>viewer-rows</xsl:comment></xsl:when>
              <xsl:otherwise><xsl:apply-templates select="*[1]" mode="rows"/></xsl:otherwise>
            </xsl:choose>
          </body>
        </html>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="*">
    <h1>Справочник ценных бумаг</h1>
    <p class="info">
      <xsl:text>Сформирован: </xsl:text>
      <xsl:call-template name="date"><xsl:with-param name="value" select="@Created"/></xsl:call-template>
      <xsl:text> · Инструментов: </xsl:text>
      <xsl:value-of select="$viewer-count"/>
      <xsl:if test="@Language"><xsl:text> · Язык: </xsl:text><xsl:value-of select="@Language"/></xsl:if>
    </p>
    <p class="hint">Кнопка «Экспортировать в MS Excel» в правом верхнем углу окна переносит таблицу в новую книгу, без этого заголовка.<span class="cut"> Save as</span></p>
    <table>
      <colgroup>
        <col style="width:60px"/><col style="width:110px"/><col style="width:150px"/><col style="width:330px"/>
        <col style="width:120px"/><col style="width:130px"/><col style="width:250px"/><col style="width:120px"/>
        <col style="width:90px"/><col style="width:60px"/><col style="width:120px"/><col style="width:95px"/><col style="width:95px"/>
      </colgroup>
      <thead>
        <tr>
          <th rowspan="2">№</th>
          <th colspan="3">Инструмент</th>
          <th colspan="2">Регистрация</th>
          <th rowspan="2">Эмитент</th>
          <th rowspan="2">Вид</th>
          <th colspan="2">Номинал</th>
          <th rowspan="2">Объём выпуска, шт.</th>
          <th rowspan="2">Дата выпуска</th>
          <th rowspan="2">Дата погашения</th>
        </tr>
        <tr>
          <th>Код</th><th>Краткое наименование</th><th>Полное наименование</th>
          <th>ISIN</th><th>Рег. номер</th>
          <th>Сумма</th><th>Валюта</th>
        </tr>
      </thead>
    </table>
  </xsl:template>

  <!-- The instruments of the document element, numbered from viewer-first, in tables of $chunk. -->
  <xsl:template match="*" mode="rows">
    <xsl:for-each select="*[position() mod $chunk = 1]">
      <div class="chunk">
        <table>
          <tbody>
            <xsl:apply-templates select="." mode="row">
              <xsl:with-param name="n" select="$viewer-first + (position() - 1) * $chunk"/>
              <xsl:with-param name="left" select="$chunk"/>
            </xsl:apply-templates>
          </tbody>
        </table>
      </div>
    </xsl:for-each>
  </xsl:template>

  <!-- One instrument, then the next one of its table: each row is visited once. Dates are
       yyyy-mm-dd and shown as dd.mm.yyyy; anything else is shown as it stands. -->
  <xsl:template match="*" mode="row">
    <xsl:param name="n"/>
    <xsl:param name="left"/>
    <tr id="row-{$n}">
      <td><xsl:value-of select="$n"/></td>
      <td><xsl:value-of select="@Code"/></td>
      <td><xsl:value-of select="@ShortName"/></td>
      <td><xsl:value-of select="@Name"/></td>
      <td><xsl:value-of select="@ISIN"/></td>
      <td><xsl:value-of select="@RegNum"/></td>
      <td><xsl:value-of select="@Issuer"/></td>
      <td><xsl:value-of select="@Kind"/></td>
      <td><xsl:value-of select="@FaceValue"/></td>
      <td><xsl:value-of select="@Currency"/></td>
      <td><xsl:value-of select="@IssueSize"/></td>
      <td><xsl:apply-templates select="@IssueDate" mode="date"/></td>
      <td><xsl:apply-templates select="@MaturityDate" mode="date"/></td>
    </tr>
    <xsl:if test="$left &gt; 1">
      <xsl:apply-templates select="following-sibling::*[1]" mode="row">
        <xsl:with-param name="n" select="$n + 1"/>
        <xsl:with-param name="left" select="$left - 1"/>
      </xsl:apply-templates>
    </xsl:if>
  </xsl:template>

  <xsl:template match="@*" mode="date">
    <xsl:choose>
      <xsl:when test="string-length(.) = 10 and substring(., 5, 1) = '-'">
        <xsl:value-of select="concat(substring(., 9, 2), '.', substring(., 6, 2), '.', substring(., 1, 4))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="."/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
