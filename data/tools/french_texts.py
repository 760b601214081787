# The 178 texts of French.lf, in the order of english.lf.
TEXTS = [
    "Oui",  # 0
    "Non",
    "Obtenir le logiciel de gravure",
    "Liste de gravure",
    "Options",
    "Choisir un dossier",  # 5
    "Parcourir...",
    "Dossier",
    "Lister les fichiers",
    "Renommage en masse",
    "Listes de lecture",  # 10
    "Fichiers",
    "Monter",
    "Descendre",
    "Supprimer",
    "Piste fictive",  # 15
    "Vider",
    "Statistiques",
    "Tri automatique",
    "Annuler le renommage",
    "Options",  # 20
    "Renommer les fichiers",
    "Écrire une liste de lecture",
    "Langue actuelle :",
    "Résultats",
    "Album",  # 25
    "Pistes récupérées",
    "Progression",
    "Artiste",
    "Album",
    "Genre",  # 30
    "Année",
    "Annuler",
    "Fermer",
    "Réglages",
    "Rechercher une mise à jour",  # 35
    "Aide",
    "Information",
    "À propos",
    "Langue",
    "Étapes",  # 40
    "Rechercher",
    "plus",
    "Récupérer les détails",
    "Appliquer",
    "Les étiquettes n'ont pas pu être écrites dans ce fichier.",  # 45
    "%%1%% existe déjà : %%2%% garde son nom.",
    "%%1%% est en lecture seule : il n'a été ni étiqueté ni renommé.",
    "Le nombre de pistes récupérées diffère du nombre de fichiers : aucun fichier n'a été étiqueté ni renommé.",
    "Aucun dossier de liste de lecture n'est réglé. Écrire la liste dans le dossier de l'album ?",
    "La liste de lecture existe déjà. La remplacer ?",  # 50
    "Terminé.",
    "Le tri automatique demande autant de fichiers que de pistes récupérées, sans piste fictive.",
    "Le disque a plus de pistes que le dossier n'a de fichiers. Ajouter des pistes fictives pour les fichiers manquants ?",
    "Les détails du disque n'ont pas pu être récupérés.",
    "Aucune connexion à Internet n'a été trouvée.",  # 55
    "Une nouvelle version de %%1%% est disponible. La télécharger et l'installer maintenant ?",
    "La nouvelle version de %%1%% a été téléchargée. Son installation démarre et %%1%% se ferme.",
    "La mise à jour n'a pas pu être téléchargée.",
    "Vous avez déjà la dernière version de %%1%% (%%2%%.%%3%%.%%4%%).",
    "Le serveur de mise à jour est injoignable, ou sa description de mise à jour est abîmée.",  # 60
    "Une nouvelle recherche efface le disque récupéré. Continuer ?",
    "Aucun album n'a été trouvé.",
    "La liste des genres (styles.dat) manque : les étiquettes ID3v1 ne peuvent pas être écrites.",
    "La liste des genres (styles.dat) est incomplète.",
    "OK",  # 65
    "Nous écrire",
    "Site web",
    "Version",
    "Build",
    "%%1%%",  # 70
    "%%1%%",
    "Version %%1%%.%%2%%.%%3%%",
    "Copyright",
    "Tous droits réservés",
    "Merci",  # 75
    "Remerciements",
    "Mots à rechercher (artiste, album) :",
    "Rechercher dans la base CDDB",
    "Méthode",
    "Tri automatique",  # 80
    "Tri automatique rapide",
    "Tri automatique par optimisation quadratique",
    "Renommer",
    "Nom",
    "Séparer les mots (ex : UneOdeAPersonne ->  Une Ode A Personne)",  # 85
    "Uniformiser la casse",
    "Minuscules",
    "Majuscules",
    "Majuscule en début de mot (ex : Une Ode A Personne)",
    "Remplacer les soulignés (\"_\") par des espaces",  # 90
    "Remplacer les espaces par des soulignés (\"_\")",
    "Remplacer les espaces multiples par un seul espace",
    "Uniformisation de la casse",
    "Ajouter des fichiers",
    "Ajouter un dossier",  # 95
    "Vider la liste",
    "Lancer",
    "Arrêter",
    "%%1%% fichiers renommés sur %%2%%.",
    "Lecteur",  # 100
    "Format",
    "Dossier",
    "Inclure les sous-dossiers",
    "Dossier à lister",
    "Dossier de sortie",  # 105
    "Modèle de ligne",
    "Modèle :",
    "Exemple :",
    "nom du fichier sans extension",
    "extension avec son point",  # 110
    "Format de fichier",
    "taille en mégaoctets",
    "dossier listé",
    "Choisissez un dossier existant à lister, un dossier de sortie et un nom de fichier.",
    "Choisissez au moins un format.",  # 115
    "Liste",
    "Nom du fichier",
    "Cette liste de lecture existe déjà. La remplacer ?",
    "Liste de lecture",
    "Pistes",  # 120
    "Durée",
    "Chemin",
    "Internet",
    "Ne pas tester la connexion avant de rechercher une mise à jour",
    "Rechercher une mise à jour au démarrage",  # 125
    "Renommage des albums",
    "Serveur CDDB",
    "Serveur :",
    "HTTP",
    "Port :",  # 130
    "Chemin CGI :",
    "Liste de lecture de l'album",
    "Dans le dossier de l'album",
    "Dans le dossier parent de l'album",
    "Dans ce dossier :",  # 135
    "Proxy",
    "Utiliser un proxy",
    "Hôte du proxy :",
    "Port du proxy :",
    "Champs",  # 140
    "Le proxy est activé mais aucun hôte n'est indiqué : les réglages n'ont pas été enregistrés.",
    "Statistiques",
    "Source",
    "Nombre de pistes :",
    "Données récupérées",  # 145
    "Les nombres de pistes concordent : ",
    "Écarts (plus ils sont faibles, mieux c'est) : ",
    "Calculés :",
    "Écart quadratique :",
    "Écart global :",  # 150
    "Écart maximal :",
    "Écart",
    "Non (les nombres de pistes diffèrent)",
    "Oui",
    "(pistes fictives exclues)",  # 155
    "Mesure des durées...",
    "Terminé",
    "Éditeur de titre de piste",
    "Mise à jour",
    "État :",  # 160
    "Vitesse :",
    "octets",
    "Ko",
    "Mo",
    "Titre",  # 165
    "Numéro de piste",
    "Le dossier de l'album ne contient aucun fichier.",
    "Choisissez au moins une option.",
    "%%FIC%% n'a pas pu être renommé.",
    "Graver",  # 170
    "CD audio (74 minutes)",
    "Durée totale :",
    "Aucun logiciel de gravure n'a été trouvé. Tunora grave avec k3b ou Brasero : installez l'un d'eux avec votre gestionnaire de paquets. Visiter le site web de k3b ?",
    "La compilation dépasse 74 minutes. La graver quand même ?",
    "Étiquetage d'album",  # 175
    "Prêt",
    "Annulé.",
]
assert len(TEXTS) == 178, len(TEXTS)
