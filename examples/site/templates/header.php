<!DOCTYPE html>
<html>
<head>
    <meta charset="utf-8">
    <title><?php echo $page_title; ?></title>
    <link rel="stylesheet" href="style.css">
</head>
<body>
<div id="menu">
    <?php echo html_link('index.php', 'Home'); ?> |
    <a href="pages/about.html">About us</a> |
    <a href="pages/contact.html">Contact</a>
</div>
<div id="content">
